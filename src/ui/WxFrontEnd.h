// The front end of the designer: the core's requests (message boxes, status panes, the busy
// cursor, the explorer, the property bar, sheet tabs and the page) carried out on the main window.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/FrontEnd.h"
#include "design/DesignerWindows.h"

namespace orvik {
class AppContext;
}

namespace orvik::ui {

class MainFrame;

class WxFrontEnd : public FrontEnd, public design::DesignerWindows {
  public:
    explicit WxFrontEnd(MainFrame* frame) : frame_(frame) {}

    // The run goes with its front end: the windows no longer show it.
    ~WxFrontEnd() override;

    // The designer's windows show this run from now on.
    void AttachedTo(Run& run) override;

    // Lets the window go (it is being destroyed); later requests do nothing.
    void DetachFrame() { frame_ = nullptr; }

    // Answers message boxes instead of showing them, for tests that drive the window; null shows
    // them.
    std::function<MessageBoxResult(std::string_view text, std::string_view caption)> Answer;
    // The last message box text shown or answered (for tests and the status pane).
    std::string LastMessage;

    MessageBoxResult ShowMessageBox(std::string_view text, std::string_view caption,
                                    MessageBoxButtons buttons, MessageBoxIcon icon) override;
    void SetPaneText(int pane, std::string_view text) override;
    void SetWaitCursor(bool busy) override;
    void ShowProperties(ObjectKind kind, COvInfoObject* object) override;
    void ShowSettings() override;
    std::vector<COvInfoProp*> ShownPropertyList() override;
    void SetExplorerItemText(void* item, std::string_view text) override;
    void RebuildExplorer() override;
    void CreateViewDS(COvInfoSheet& sheet) override;
    void ActivateSheet(COvInfoSheet& sheet) override;
    void LanguageChanged() override;
    void ShowPage(const std::string& path) override;
    void SheetRenamed(COvInfoSheet& sheet) override;
    void SheetRefreshed(COvInfoSheet& sheet) override;
    void SheetRowsArriving(COvInfoSheet& sheet, long rowsSoFar, long rowsInAll) override;
    void ReplaceSheetView(COvInfoSheet& sheet) override;
    void RemoveSheetView(COvInfoSheet& sheet) override;
    void ModifiedChanged(bool modified) override;

  private:
    AppContext* attached_ = nullptr;
    MainFrame* frame_;
    int busyDepth_ = 0;
};

}  // namespace orvik::ui
