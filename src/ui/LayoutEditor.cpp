#include "ui/LayoutEditor.h"

#include <wx/button.h>
#include <wx/listbox.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/splitter.h>
#include <wx/stattext.h>
#include <wx/stc/stc.h>
#include <wx/treectrl.h>

#include "model/Report.h"
#include "ui/DialogTranslation.h"
#include "ui/SourceEditor.h"

namespace orvik::ui {
namespace {

wxString FromUtf8(const std::string& text) {
    return wxString::FromUTF8(text.data(), text.size());
}

// The index of an outline item's element, kept as the item's data.
class OffsetData : public wxTreeItemData {
  public:
    explicit OffsetData(size_t offset) : Offset(offset) {}
    size_t Offset;
};

}  // namespace

LayoutEditor::LayoutEditor(wxWindow* parent, const CReport& report, const std::string& layout)
    : wxDialog(parent, wxID_ANY, "Page Layout", wxDefaultPosition, wxSize(1100, 720),
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      report_(report),
      refresh_(this) {
    auto* splitter = new wxSplitterWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                          wxSP_LIVE_UPDATE | wxSP_3DSASH);
    auto* side = new wxPanel(splitter);
    outline_ = new wxTreeCtrl(side, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                              wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_HIDE_ROOT);
    placeholders_ = new wxListBox(side, wxID_ANY);
    auto* insert = new wxButton(side, kInsertButton, "&Insert at Caret");
    auto* start = new wxButton(side, kTemplateButton, "New from &Template");
    auto* sideSizer = new wxBoxSizer(wxVERTICAL);
    sideSizer->Add(outline_, 3, wxEXPAND);
    sideSizer->Add(new wxStaticText(side, wxID_ANY, "Placeholders"), 0, wxTOP, 6);
    sideSizer->Add(placeholders_, 2, wxEXPAND);
    sideSizer->Add(insert, 0, wxEXPAND | wxTOP, 4);
    sideSizer->Add(start, 0, wxEXPAND | wxTOP, 4);
    side->SetSizer(sideSizer);

    editor_ = new wxStyledTextCtrl(splitter, wxID_ANY);
    ConfigureSourceEditor(*editor_, SourceLanguage::Html);
    editor_->SetText(FromUtf8(layout));
    editor_->EmptyUndoBuffer();
    splitter->SplitVertically(side, editor_, 300);
    splitter->SetMinimumPaneSize(120);

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(splitter, 1, wxEXPAND | wxALL, 6);
    sizer->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 6);
    SetSizer(sizer);

    outline_->Bind(wxEVT_TREE_SEL_CHANGED, [this](wxTreeEvent& event) {
        if (auto* data = dynamic_cast<OffsetData*>(outline_->GetItemData(event.GetItem()))) {
            editor_->GotoPos(static_cast<int>(data->Offset));
            editor_->SetFocus();
        }
    });
    insert->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        const int chosen = placeholders_->GetSelection();
        if (chosen != wxNOT_FOUND) InsertPlaceholder(shown_[static_cast<size_t>(chosen)].Id);
    });
    placeholders_->Bind(wxEVT_LISTBOX_DCLICK, [this](wxCommandEvent& event) {
        InsertPlaceholder(shown_[static_cast<size_t>(event.GetSelection())].Id);
    });
    start->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        if (editor_->GetLength() > 0 &&
            wxMessageBox("Replace the layout with a new one from the template?", "Page Layout",
                         wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION, this) != wxYES)
            return;
        UseTemplate();
    });
    // The outline follows the text a moment after typing stops, not on every key.
    editor_->Bind(wxEVT_STC_MODIFIED, [this](wxStyledTextEvent& event) {
        if (event.GetModificationType() & (wxSTC_MOD_INSERTTEXT | wxSTC_MOD_DELETETEXT))
            refresh_.StartOnce(400);
    });
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Refresh(); });
    TranslateWindow(*this, "HE");
    Refresh();
}

std::string LayoutEditor::Layout() const {
    return editor_->GetText().utf8_string();
}

void LayoutEditor::Refresh() {
    const std::string text = Layout();
    outline_->DeleteAllItems();
    const wxTreeItemId root = outline_->AddRoot("");
    std::vector<wxTreeItemId> parents = {root};
    for (const design::LayoutNode& node : design::LayoutOutline(text)) {
        parents.resize(static_cast<size_t>(node.Depth) + 1);
        wxString caption = FromUtf8(node.Tag);
        if (!node.Id.empty()) caption += " #" + FromUtf8(node.Id);
        const wxTreeItemId item =
            outline_->AppendItem(parents.back(), caption, -1, -1, new OffsetData(node.Offset));
        if (node.Placeholder) outline_->SetItemBold(item);
        parents.push_back(item);
    }
    outline_->ExpandAll();
    // The placeholders the layout lacks come first: those are the ones to insert.
    shown_.clear();
    for (const bool present : {false, true})
        for (const design::LayoutPlaceholder& placeholder :
             design::LayoutPlaceholders(report_, text))
            if (placeholder.Present == present) shown_.push_back(placeholder);
    wxArrayString captions;
    for (const design::LayoutPlaceholder& placeholder : shown_)
        captions.Add(FromUtf8(placeholder.Caption) +
                     (placeholder.Present ? " (in the layout)" : ""));
    placeholders_->Set(captions);
}

void LayoutEditor::InsertPlaceholder(const std::string& id) {
    editor_->InsertText(editor_->GetCurrentPos(), FromUtf8(design::PlaceholderMarkup(id)));
    Refresh();
}

void LayoutEditor::UseTemplate() {
    editor_->SetText(FromUtf8(design::LayoutTemplate(report_)));
    Refresh();
}

bool EditPageLayout(wxWindow* parent, CReport& report) {
    if (!report.ReportObject) return false;
    COvInfoProp* layout = report.ReportObject->GetPropByName("HTMLayout");
    if (!layout) return false;
    LayoutEditor editor(parent, report, layout->Value);
    if (editor.ShowModal() != wxID_OK || editor.Layout() == layout->Value) return false;
    layout->Value = editor.Layout();
    report.Modified = true;
    return true;
}

}  // namespace orvik::ui
