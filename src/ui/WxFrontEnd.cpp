#include "ui/WxFrontEnd.h"

#include "model/AppContext.h"
#include "ui/DesignerContext.h"

#include <wx/msgdlg.h>
#include <wx/utils.h>

#include "core/Log.h"
#include "ui/MainFrame.h"
#include "ui/PropertyBar.h"

namespace orvik::ui {

WxFrontEnd::~WxFrontEnd() {
    if (attached_ && DesignerContext() == attached_) SetDesignerContext(nullptr);
}

void WxFrontEnd::AttachedTo(Run& run) {
    // Every run a designer window serves is an application context (the designer makes it).
    attached_ = static_cast<AppContext*>(&run);
    SetDesignerContext(attached_);
}

MessageBoxResult WxFrontEnd::ShowMessageBox(std::string_view text, std::string_view caption,
                                            MessageBoxButtons buttons, MessageBoxIcon icon) {
    LastMessage = std::string(text);
    if (Answer) return Answer(text, caption);
    long style = 0;
    switch (buttons) {
        case MessageBoxButtons::Ok:
            style = wxOK;
            break;
        case MessageBoxButtons::OkCancel:
            style = wxOK | wxCANCEL;
            break;
        case MessageBoxButtons::YesNo:
            style = wxYES_NO;
            break;
        case MessageBoxButtons::YesNoCancel:
            style = wxYES_NO | wxCANCEL;
            break;
    }
    switch (icon) {
        case MessageBoxIcon::Error:
            style |= wxICON_ERROR;
            break;
        case MessageBoxIcon::Warning:
            style |= wxICON_WARNING;
            break;
        case MessageBoxIcon::Information:
            style |= wxICON_INFORMATION;
            break;
        case MessageBoxIcon::Question:
            style |= wxICON_QUESTION;
            break;
        case MessageBoxIcon::None:
            break;
    }
    // A message shown under the busy cursor must still take a click.
    const bool busy = wxIsBusy();
    if (busy) wxEndBusyCursor();
    const wxString title =
        caption.empty() ? wxString("Orvik") : wxString::FromUTF8(caption.data(), caption.size());
    const int answer =
        wxMessageBox(wxString::FromUTF8(text.data(), text.size()), title, style, frame_);
    if (busy) wxBeginBusyCursor();
    switch (answer) {
        case wxYES:
            return MessageBoxResult::Yes;
        case wxNO:
            return MessageBoxResult::No;
        case wxCANCEL:
            return MessageBoxResult::Cancel;
        default:
            return MessageBoxResult::Ok;
    }
}

void WxFrontEnd::SetPaneText(int pane, std::string_view text) {
    if (frame_) frame_->SetPaneText(pane, std::string(text));
}

void WxFrontEnd::SetWaitCursor(bool busy) {
    if (busy) {
        ++busyDepth_;
        wxBeginBusyCursor();
    } else if (busyDepth_ > 0) {
        --busyDepth_;
        wxEndBusyCursor();
    }
}

void WxFrontEnd::ShowProperties(ObjectKind kind, COvInfoObject* object) {
    if (frame_) frame_->ShowProperties(kind, object);
}

void WxFrontEnd::ShowSettings() {
    if (frame_) frame_->ShowSettings();
}

std::vector<COvInfoProp*> WxFrontEnd::ShownPropertyList() {
    if (!frame_) return {};
    return frame_->Properties().ShownList();
}

void WxFrontEnd::SetExplorerItemText(void* item, std::string_view text) {
    if (frame_) frame_->SetExplorerItemText(item, std::string(text));
}

void WxFrontEnd::RebuildExplorer() {
    if (frame_) frame_->RebuildExplorer();
}

void WxFrontEnd::CreateViewDS(COvInfoSheet& sheet) {
    if (frame_) frame_->CreateSheetTab(sheet);
}

void WxFrontEnd::ActivateSheet(COvInfoSheet& sheet) {
    if (frame_) frame_->ActivateSheet(sheet);
}

void WxFrontEnd::LanguageChanged() {
    if (frame_) frame_->Retranslate();
}

void WxFrontEnd::ShowPage(const std::string& path) {
    if (frame_) frame_->ShowPage(path);
}

void WxFrontEnd::SheetRenamed(COvInfoSheet& sheet) {
    if (frame_) frame_->SheetRenamed(sheet);
}

void WxFrontEnd::SheetRefreshed(COvInfoSheet& sheet) {
    if (frame_) frame_->SheetRefreshed(sheet);
}

void WxFrontEnd::SheetRowsArriving(COvInfoSheet& sheet, long rowsSoFar, long rowsInAll) {
    if (frame_) frame_->SheetRowsArriving(sheet, rowsSoFar, rowsInAll);
}

void WxFrontEnd::ReplaceSheetView(COvInfoSheet& sheet) {
    if (frame_) frame_->ReplaceSheetView(sheet);
}

void WxFrontEnd::RemoveSheetView(COvInfoSheet& sheet) {
    if (frame_) frame_->RemoveSheetView(sheet);
}

void WxFrontEnd::ModifiedChanged(bool) {
    if (frame_) frame_->UpdateTitle();
}

}  // namespace orvik::ui
