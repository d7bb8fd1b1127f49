// The editor for a data source's query (SQL or MDX) and other source texts: keywords coloured,
// line numbers, matching braces shown, find and replace (Ctrl+F, Ctrl+H), its own undo, names
// completed (Ctrl+Space), and for queries a Run button (F5) that shows the first rows, or the
// error with the caret put where it points.
#pragma once

#include <wx/dialog.h>

#include <functional>
#include <string>
#include <vector>

#include "core/ObjectKind.h"
#include "design/QueryPreview.h"

class COvInfoDS;
class COvInfoObject;

namespace orvik {
class AppContext;
}

class wxFindDialogEvent;
class wxFindReplaceDialog;
class wxListCtrl;
class wxStaticText;
class wxStyledTextCtrl;

namespace orvik::ui {

enum class SourceLanguage { Plain, Sql, Mdx, Html };

// Sets `editor` up for `language`: keywords coloured, line numbers, brace and error markers.
void ConfigureSourceEditor(wxStyledTextCtrl& editor, SourceLanguage language);

struct SourceEditorTools {
    // Runs the text as the query; null: no Run button.
    std::function<design::QueryPreview(const std::string& text)> Run;
    // The names Ctrl+Space offers, asked for on first use; null: none.
    std::function<std::vector<std::string>()> Names;
};

class SourceEditor : public wxDialog {
  public:
    SourceEditor(wxWindow* parent, const wxString& title, SourceLanguage language,
                 const wxString& text, SourceEditorTools tools = {});

    wxString Text() const;
    wxStyledTextCtrl& Editor() { return *editor_; }
    // Runs the text (the Run button); the rows or the error show below it.
    void RunQuery();
    // Opens the completion list for the word before the caret; false when nothing matches.
    bool Complete();
    // What the result pane shows: its column headers and rows, and the status line.
    wxListCtrl* Result() const { return result_; }
    wxString Status() const;

  private:
    void OnUpdateUi();
    void OnFind(wxFindDialogEvent& event);
    void OpenFind(bool replace);

    wxStyledTextCtrl* editor_ = nullptr;
    wxListCtrl* result_ = nullptr;
    wxStaticText* status_ = nullptr;
    wxFindReplaceDialog* find_ = nullptr;
    SourceEditorTools tools_;
    std::vector<std::string> names_;
    bool namesAsked_ = false;
};

// Run and completion on `source`, which must outlive them.
SourceEditorTools QueryTools(AppContext& context, const COvInfoDS& source);

// The property bar's editor for dialog-edited texts: a data source's query in the query editor
// (with Run and completion on that source), other texts as plain source text. True when the
// user accepted, with `text` holding the result.
bool EditPropertyText(wxWindow* parent, unsigned editorId, wxString& text, ObjectKind kind,
                      COvInfoObject* object);

}  // namespace orvik::ui
