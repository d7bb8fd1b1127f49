// The main window's Edit menu: undo and redo of report edits, cut, copy and paste of report
// objects, and the page layout. In a text being typed, the same keys act on the text.
#include <wx/menu.h>
#include <wx/textentry.h>

#include "design/EditHistory.h"
#include "design/ObjectClipboard.h"
#include "model/AppContext.h"
#include "model/Report.h"
#include "tasks/ReportPage.h"
#include "ui/DesignerContext.h"
#include "ui/ExplorerPanel.h"
#include "ui/LayoutEditor.h"
#include "ui/MainFrame.h"

namespace orvik::ui {
namespace {

constexpr int kPageLayout = wxID_HIGHEST + 300;

wxTextEntry* FocusedText() {
    return dynamic_cast<wxTextEntry*>(wxWindow::FindFocus());
}

}  // namespace

wxMenu* MainFrame::BuildEditMenu() {
    auto* edit = new wxMenu;
    edit->Append(wxID_UNDO, "&Undo\tCtrl+Z");
    edit->Append(wxID_REDO, "&Redo\tCtrl+Shift+Z");
    edit->AppendSeparator();
    edit->Append(wxID_CUT, "Cu&t\tCtrl+X");
    edit->Append(wxID_COPY, "&Copy\tCtrl+C");
    edit->Append(wxID_PASTE, "&Paste\tCtrl+V");
    edit->AppendSeparator();
    edit->Append(kPageLayout, "Page &Layout...");
    return edit;
}

void MainFrame::BindEditCommands() {
    Bind(wxEVT_MENU, &MainFrame::OnUndoRedo, this, wxID_UNDO);
    Bind(wxEVT_MENU, &MainFrame::OnUndoRedo, this, wxID_REDO);
    Bind(
        wxEVT_UPDATE_UI,
        [this](wxUpdateUIEvent& event) {
            const bool undo = event.GetId() == wxID_UNDO;
            const bool can = history_ && (undo ? history_->CanUndo() : history_->CanRedo());
            const std::string what = !history_ ? ""
                                     : undo    ? history_->UndoText()
                                               : history_->RedoText();
            event.Enable(can || FocusedText());
            event.SetText(wxString(undo ? "&Undo" : "&Redo") + (what.empty() ? "" : " ") +
                          wxString::FromUTF8(what.c_str()) +
                          (undo ? "\tCtrl+Z" : "\tCtrl+Shift+Z"));
        },
        wxID_UNDO, wxID_REDO);
    Bind(wxEVT_MENU, &MainFrame::OnClipboard, this, wxID_CUT);
    Bind(wxEVT_MENU, &MainFrame::OnClipboard, this, wxID_COPY);
    Bind(wxEVT_MENU, &MainFrame::OnClipboard, this, wxID_PASTE);
    Bind(
        wxEVT_MENU,
        [this](wxCommandEvent&) {
            CReport* report = Report();
            if (!report || !EditPageLayout(this, *report)) return;
            if (history_) history_->Record("Page Layout");
            HTMLRefresh(*DesignerContext());
        },
        kPageLayout);
}

void MainFrame::OnUndoRedo(wxCommandEvent& event) {
    if (wxTextEntry* text = FocusedText()) {
        if (event.GetId() == wxID_UNDO && text->CanUndo()) text->Undo();
        if (event.GetId() == wxID_REDO && text->CanRedo()) text->Redo();
        return;
    }
    if (event.GetId() == wxID_UNDO)
        Undo();
    else
        Redo();
}

void MainFrame::OnClipboard(wxCommandEvent& event) {
    if (wxTextEntry* text = FocusedText()) {
        if (event.GetId() == wxID_CUT) text->Cut();
        if (event.GetId() == wxID_COPY) text->Copy();
        if (event.GetId() == wxID_PASTE) text->Paste();
        return;
    }
    if (event.GetId() == wxID_PASTE)
        PasteObject();
    else
        CopyObject(event.GetId() == wxID_CUT);
}

bool MainFrame::Undo() {
    if (!history_ || !history_->CanUndo()) return false;
    CloseSheetTabs();
    wxBusyCursor busy;
    return ShowRestored(history_->Undo());
}

bool MainFrame::Redo() {
    if (!history_ || !history_->CanRedo()) return false;
    CloseSheetTabs();
    wxBusyCursor busy;
    return ShowRestored(history_->Redo());
}

bool MainFrame::ShowRestored(bool restored) {
    SyncSheetTabs();
    explorer_->RebuildForAnotherReport();
    if (!restored) ShowError("The report could not be put back as it was.");
    UpdateTitle();
    return restored;
}

bool MainFrame::CopyObject(bool cut) {
    AppContext* context = DesignerContext();
    COvInfoObject* object = explorer_->SelectedObject();
    if (!context || !object) return false;
    std::optional<design::ObjectSnapshot> snapshot = design::SnapshotOf(*context, *object);
    if (!snapshot) return false;
    clipboard_ = std::make_unique<design::ObjectSnapshot>(std::move(*snapshot));
    // Cut deletes as Delete does, asking first; the copy stays even when the user says no.
    if (cut) explorer_->DeleteItem();
    return true;
}

bool MainFrame::PasteObject() {
    AppContext* context = DesignerContext();
    if (!context || !clipboard_) return false;
    wxBusyCursor busy;
    COvInfoObject* added = design::PasteSnapshot(*context, *clipboard_);
    if (!added) return false;
    if (history_) history_->Record("Paste");
    SyncSheetTabs();
    explorer_->SelectObject(added);
    return true;
}

}  // namespace orvik::ui
