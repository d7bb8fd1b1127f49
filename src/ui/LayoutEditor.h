// The page layout editor (Edit > Page Layout): the layout's HTML in a source editor, its elements
// as a tree beside it (placeholders of sheets and parameters in bold; a click goes to the
// element), the report's placeholders listed with the ones the layout lacks first and inserted at
// the caret in one click, and a plain layout to start from. What is not edited stays byte for byte.
#pragma once

#include <wx/dialog.h>
#include <wx/timer.h>

#include <string>
#include <vector>

#include "design/LayoutOutline.h"

class CReport;
class wxListBox;
class wxStyledTextCtrl;
class wxTreeCtrl;

namespace orvik::ui {

class LayoutEditor : public wxDialog {
  public:
    LayoutEditor(wxWindow* parent, const CReport& report, const std::string& layout);

    std::string Layout() const;
    wxStyledTextCtrl& Editor() { return *editor_; }
    wxTreeCtrl& Outline() { return *outline_; }
    // Inserts the placeholder `id` at the caret.
    void InsertPlaceholder(const std::string& id);
    // Replaces the text with a plain layout holding every placeholder.
    void UseTemplate();
    // Reads the outline and the placeholders' marks again from the text.
    void Refresh();

  private:
    const CReport& report_;
    wxStyledTextCtrl* editor_ = nullptr;
    wxTreeCtrl* outline_ = nullptr;
    wxListBox* placeholders_ = nullptr;
    std::vector<design::LayoutPlaceholder> shown_;
    std::vector<size_t> offsets_;  // of the outline's items, by their data index
    wxTimer refresh_;
};

// Edit > Page Layout on `report`: true when the user changed the layout and it was stored (the
// report then marked modified).
bool EditPageLayout(wxWindow* parent, CReport& report);

}  // namespace orvik::ui
