#include "ui/SourceEditor.h"

#include <wx/button.h>
#include <wx/fdrepdlg.h>
#include <wx/listctrl.h>
#include <wx/sizer.h>
#include <wx/splitter.h>
#include <wx/stattext.h>
#include <wx/stc/stc.h>

#include "core/ObjectKind.h"
#include "model/AppContext.h"
#include "model/OvInfoDS.h"
#include "ui/ConnectionDialog.h"
#include "ui/DesignerContext.h"
#include "ui/DialogTranslation.h"

#include <algorithm>
#include <cctype>

namespace orvik::ui {
namespace {

constexpr int kLineNumberMargin = 0;
constexpr size_t kShownRows = 100;

constexpr const char* kSqlKeywords =
    "select from where and or not in is null like between group by order having as on join inner "
    "left right full outer cross union all distinct insert into values update set delete create "
    "table view index drop alter case when then else end exists asc desc limit offset with count "
    "sum avg min max cast coalesce";
constexpr const char* kMdxKeywords =
    "select from where on columns rows pages chapters sections axis non empty with member set as "
    "crossjoin nonemptycrossjoin filter order topcount bottomcount head tail children members "
    "descendants ancestor parent currentmember prevmember nextmember lag lead sum aggregate avg "
    "count iif and or not is generate union intersect except distinct hierarchize properties "
    "dimension cell kpivalue kpigoal kpistatus kpitrend kpiweight";

wxString FromUtf8(const std::string& text) {
    return wxString::FromUTF8(text.data(), text.size());
}

}  // namespace

SourceEditor::SourceEditor(wxWindow* parent, const wxString& title, SourceLanguage language,
                           const wxString& text, SourceEditorTools tools)
    : wxDialog(parent, wxID_ANY, title, wxDefaultPosition, wxSize(900, 640),
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      tools_(std::move(tools)) {
    auto* splitter = new wxSplitterWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                          wxSP_LIVE_UPDATE | wxSP_3DSASH);
    editor_ = new wxStyledTextCtrl(splitter, wxID_ANY);
    ConfigureSourceEditor(*editor_, language);
    editor_->SetText(text);
    editor_->EmptyUndoBuffer();  // the text as it came is not an edit to undo

    auto* lower = new wxPanel(splitter);
    auto* lowerSizer = new wxBoxSizer(wxVERTICAL);
    status_ = new wxStaticText(lower, wxID_ANY, "");
    result_ = new wxListCtrl(lower, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                             wxLC_REPORT | wxLC_HRULES | wxLC_VRULES);
    lowerSizer->Add(status_, 0, wxALL | wxEXPAND, 4);
    lowerSizer->Add(result_, 1, wxEXPAND);
    lower->SetSizer(lowerSizer);
    if (tools_.Run) {
        splitter->SplitHorizontally(editor_, lower, 400);
    } else {
        lower->Hide();
        splitter->Initialize(editor_);
    }
    splitter->SetMinimumPaneSize(60);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    if (tools_.Run) {
        auto* run = new wxButton(this, kRunButton, "&Run (F5)");
        run->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { RunQuery(); });
        buttons->Add(run, 0, wxRIGHT, 8);
    }
    auto* find = new wxButton(this, kFindButton, "&Find...");
    find->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OpenFind(false); });
    buttons->Add(find, 0, wxRIGHT, 8);
    buttons->AddStretchSpacer();
    // GTK's order: Cancel before OK, OK the default (Enter in the editor is a line break).
    buttons->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0);

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(splitter, 1, wxEXPAND | wxALL, 6);
    sizer->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 6);
    SetSizer(sizer);

    editor_->Bind(wxEVT_STC_UPDATEUI, [this](wxStyledTextEvent&) { OnUpdateUi(); });
    editor_->Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& event) {
        const bool control = event.GetModifiers() == wxMOD_CONTROL;
        if (control && event.GetKeyCode() == WXK_SPACE) {
            Complete();
        } else if (control && event.GetKeyCode() == 'F') {
            OpenFind(false);
        } else if (control && event.GetKeyCode() == 'H') {
            OpenFind(true);
        } else if (event.GetKeyCode() == WXK_F5 && tools_.Run) {
            RunQuery();
        } else {
            event.Skip();
        }
    });
    Bind(wxEVT_FIND, &SourceEditor::OnFind, this);
    Bind(wxEVT_FIND_NEXT, &SourceEditor::OnFind, this);
    Bind(wxEVT_FIND_REPLACE, &SourceEditor::OnFind, this);
    Bind(wxEVT_FIND_REPLACE_ALL, &SourceEditor::OnFind, this);
    Bind(wxEVT_FIND_CLOSE, [this](wxFindDialogEvent&) {
        if (find_) find_->Destroy();
        find_ = nullptr;
    });
    TranslateWindow(*this, "SH");
    editor_->SetFocus();
}

void ConfigureSourceEditor(wxStyledTextCtrl& e, SourceLanguage language) {
    const wxFont font(wxFontInfo(10).Family(wxFONTFAMILY_TELETYPE));
    e.StyleSetFont(wxSTC_STYLE_DEFAULT, font);
    e.StyleClearAll();
    e.SetMarginType(kLineNumberMargin, wxSTC_MARGIN_NUMBER);
    e.SetMarginWidth(kLineNumberMargin, e.TextWidth(wxSTC_STYLE_LINENUMBER, "_99999"));
    e.SetTabWidth(4);
    e.SetUseTabs(false);
    e.SetWrapMode(wxSTC_WRAP_NONE);
    e.StyleSetForeground(wxSTC_STYLE_BRACELIGHT, wxColour(0, 0, 0));
    e.StyleSetBackground(wxSTC_STYLE_BRACELIGHT, wxColour(200, 230, 255));
    e.StyleSetBold(wxSTC_STYLE_BRACELIGHT, true);
    e.StyleSetForeground(wxSTC_STYLE_BRACEBAD, wxColour(200, 0, 0));
    e.StyleSetBold(wxSTC_STYLE_BRACEBAD, true);
    e.IndicatorSetStyle(0, wxSTC_INDIC_SQUIGGLE);
    e.IndicatorSetForeground(0, wxColour(220, 0, 0));
    const wxColour keyword(0, 0, 160), text(150, 40, 0), comment(0, 128, 0), number(128, 0, 128);
    switch (language) {
        case SourceLanguage::Sql:
        case SourceLanguage::Mdx:
            e.SetLexer(wxSTC_LEX_SQL);
            e.SetKeyWords(0, language == SourceLanguage::Sql ? kSqlKeywords : kMdxKeywords);
            for (int style : {wxSTC_SQL_WORD, wxSTC_SQL_WORD2}) {
                e.StyleSetForeground(style, keyword);
                e.StyleSetBold(style, true);
            }
            for (int style : {wxSTC_SQL_STRING, wxSTC_SQL_CHARACTER, wxSTC_SQL_QUOTEDIDENTIFIER})
                e.StyleSetForeground(style, text);
            for (int style : {wxSTC_SQL_COMMENT, wxSTC_SQL_COMMENTLINE, wxSTC_SQL_COMMENTDOC})
                e.StyleSetForeground(style, comment);
            e.StyleSetForeground(wxSTC_SQL_NUMBER, number);
            break;
        case SourceLanguage::Html:
            e.SetLexer(wxSTC_LEX_HTML);
            for (int style : {wxSTC_H_TAG, wxSTC_H_TAGEND}) {
                e.StyleSetForeground(style, keyword);
                e.StyleSetBold(style, true);
            }
            e.StyleSetForeground(wxSTC_H_ATTRIBUTE, wxColour(160, 0, 0));
            for (int style : {wxSTC_H_DOUBLESTRING, wxSTC_H_SINGLESTRING})
                e.StyleSetForeground(style, text);
            e.StyleSetForeground(wxSTC_H_COMMENT, comment);
            e.StyleSetForeground(wxSTC_H_NUMBER, number);
            break;
        case SourceLanguage::Plain:
            e.SetLexer(wxSTC_LEX_NULL);
            break;
    }
}

wxString SourceEditor::Text() const {
    return editor_->GetText();
}

wxString SourceEditor::Status() const {
    return status_->GetLabel();
}

void SourceEditor::OnUpdateUi() {
    const int caret = editor_->GetCurrentPos();
    int brace = -1;
    for (int at : {caret - 1, caret}) {
        if (at < 0) continue;
        const int c = editor_->GetCharAt(at);
        if (c == '(' || c == ')' || c == '[' || c == ']' || c == '{' || c == '}') {
            brace = at;
            break;
        }
    }
    if (brace < 0) {
        editor_->BraceHighlight(wxSTC_INVALID_POSITION, wxSTC_INVALID_POSITION);
        return;
    }
    const int match = editor_->BraceMatch(brace);
    if (match == wxSTC_INVALID_POSITION)
        editor_->BraceBadLight(brace);
    else
        editor_->BraceHighlight(brace, match);
}

bool SourceEditor::Complete() {
    if (!namesAsked_ && tools_.Names) {
        wxBusyCursor busy;
        names_ = tools_.Names();
        namesAsked_ = true;
    }
    const int caret = editor_->GetCurrentPos();
    int start = caret;
    // An MDX name may be typed with its brackets and dots: "[Measures].[Am".
    while (start > 0) {
        const int c = editor_->GetCharAt(start - 1);
        if (std::isalnum(c) || c == '_' || c == '[' || c == ']' || c == '.' || c > 127)
            --start;
        else
            break;
    }
    const std::string typed = editor_->GetTextRange(start, caret).utf8_string();
    wxString offered;
    const auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    const std::string prefix = lower(typed);
    for (const std::string& name : names_) {
        if (lower(name).rfind(prefix, 0) != 0) continue;
        if (!offered.empty()) offered += '\n';
        offered += FromUtf8(name);
    }
    if (offered.empty()) return false;
    editor_->AutoCompSetSeparator('\n');
    editor_->AutoCompSetIgnoreCase(true);
    editor_->AutoCompShow(caret - start, offered);
    return true;
}

void SourceEditor::RunQuery() {
    if (!tools_.Run) return;
    wxBusyCursor busy;
    const std::string text = editor_->GetText().utf8_string();
    const design::QueryPreview preview = tools_.Run(text);
    result_->ClearAll();
    editor_->SetIndicatorCurrent(0);
    editor_->IndicatorClearRange(0, editor_->GetLength());
    if (!preview.Error.empty()) {
        status_->SetForegroundColour(wxColour(180, 0, 0));
        status_->SetLabel(FromUtf8(preview.Error));
        if (preview.ErrorOffset) {
            // The offset counts bytes of the UTF-8 text, as the editor's positions do.
            const int at = static_cast<int>(*preview.ErrorOffset);
            editor_->GotoPos(at);
            editor_->IndicatorFillRange(at, std::max(1, editor_->WordEndPosition(at, true) - at));
        }
        return;
    }
    status_->SetForegroundColour(GetForegroundColour());
    status_->SetLabel(
        wxString::Format("%ld rows%s", preview.TotalRows,
                         preview.TotalRows > static_cast<long>(preview.Rows.size())
                             ? wxString::Format(", the first %zu shown", preview.Rows.size())
                             : wxString()));
    for (size_t col = 0; col < preview.Headers.size(); ++col)
        result_->AppendColumn(FromUtf8(preview.Headers[col]));
    for (size_t row = 0; row < preview.Rows.size() && row < kShownRows; ++row) {
        const long item = result_->InsertItem(
            static_cast<long>(row),
            preview.Rows[row].empty() ? wxString() : FromUtf8(preview.Rows[row][0]));
        for (size_t col = 1; col < preview.Rows[row].size(); ++col)
            result_->SetItem(item, static_cast<int>(col), FromUtf8(preview.Rows[row][col]));
    }
}

void SourceEditor::OpenFind(bool replace) {
    if (find_) find_->Destroy();
    static wxFindReplaceData data(wxFR_DOWN);
    data.SetFindString(editor_->GetSelectedText());
    find_ = new wxFindReplaceDialog(this, &data, replace ? "Replace" : "Find",
                                    replace ? wxFR_REPLACEDIALOG : 0);
    find_->Show();
}

void SourceEditor::OnFind(wxFindDialogEvent& event) {
    const wxString what = event.GetFindString();
    if (what.empty()) return;
    int flags = 0;
    if (event.GetFlags() & wxFR_MATCHCASE) flags |= wxSTC_FIND_MATCHCASE;
    if (event.GetFlags() & wxFR_WHOLEWORD) flags |= wxSTC_FIND_WHOLEWORD;
    const wxEventType type = event.GetEventType();
    if (type == wxEVT_FIND_REPLACE_ALL) {
        editor_->BeginUndoAction();  // one undo takes the whole replacement back
        int from = 0, count = 0;
        while (true) {
            editor_->SetTargetRange(from, editor_->GetLength());
            editor_->SetSearchFlags(flags);
            if (editor_->SearchInTarget(what) < 0) break;
            from = editor_->GetTargetStart() + editor_->ReplaceTarget(event.GetReplaceString());
            ++count;
        }
        editor_->EndUndoAction();
        status_->SetLabel(wxString::Format("%d replaced", count));
        return;
    }
    if (type == wxEVT_FIND_REPLACE && editor_->GetSelectedText() == what)
        editor_->ReplaceSelection(event.GetReplaceString());
    const bool down = event.GetFlags() & wxFR_DOWN;
    const int from = down ? editor_->GetSelectionEnd() : editor_->GetSelectionStart();
    const int found = down ? editor_->FindText(from, editor_->GetLength(), what, flags)
                           : editor_->FindText(from, 0, what, flags);
    if (found < 0) {
        wxBell();
        return;
    }
    editor_->SetSelection(found, found + static_cast<int>(what.utf8_str().length()));
    editor_->EnsureCaretVisible();
}

SourceEditorTools QueryTools(AppContext& context, const COvInfoDS& source) {
    SourceEditorTools tools;
    tools.Run = [&context, &source](const std::string& query) {
        return design::PreviewQuery(context, source, query);
    };
    tools.Names = [&context, &source] { return design::CompletionNames(context, source); };
    return tools;
}

bool EditPropertyText(wxWindow* parent, unsigned editorId, wxString& text, ObjectKind kind,
                      COvInfoObject* object) {
    AppContext* context = DesignerContext();
    SourceLanguage language = SourceLanguage::Plain;
    SourceEditorTools tools;
    wxString title = "Text";
    if (editorId == DialogEditor::QueryText && kind == ObjectKind::DataSource && object &&
        context) {
        auto* source = static_cast<COvInfoDS*>(object);
        const bool mdx = design::LanguageOf(*source) == design::QueryLanguage::Mdx;
        language = mdx ? SourceLanguage::Mdx : SourceLanguage::Sql;
        title = FromUtf8(source->Name.Value) + (mdx ? " - MDX query" : " - SQL query");
        tools = QueryTools(*context, *source);
    } else if (editorId == DialogEditor::ConnectionString) {
        ConnectionDialog dialog(parent, text.utf8_string());
        if (dialog.ShowModal() != wxID_OK) return false;
        text = FromUtf8(dialog.Connection());
        return true;
    }
    SourceEditor editor(parent, title, language, text, std::move(tools));
    if (editor.ShowModal() != wxID_OK) return false;
    text = editor.Text();
    return true;
}

}  // namespace orvik::ui
