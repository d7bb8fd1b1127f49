#include "ui/DesignerApp.h"

#include <wx/wx.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/OrvikApp.h"
#include "ui/MainFrame.h"
#include "ui/WxFrontEnd.h"

namespace orvik::ui {
namespace {

class DesignerApp : public wxApp {
  public:
    explicit DesignerApp(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}

    bool OnInit() override {
        // Toolkit warnings go to the terminal; a log window would pop up over the designer.
        delete wxLog::SetActiveTarget(new wxLogStderr);
        SetAppName("Orvik");
        auto* frame = new MainFrame;
        auto frontEnd = std::make_unique<WxFrontEnd>(frame);
        frontEnd_ = frontEnd.get();
        app_ = std::make_unique<COrvikApp>(arguments_, std::move(frontEnd));
        if (!app_->StartInteractive()) {
            exitStatus_ = app_->Finish();
            frontEnd_ = nullptr;
            frame->Destroy();
            return false;
        }
        frame->AttachApp(app_.get());
        frame->Show();
        SetTopWindow(frame);
        return true;
    }

    int OnExit() override {
        // The window has closed (and taken the report down with it); whatever is left goes now.
        if (app_) exitStatus_ = app_->Finish();
        return exitStatus_;
    }

    int ExitStatus() const { return exitStatus_; }

  private:
    std::vector<std::string> arguments_;
    std::unique_ptr<COrvikApp> app_;
    WxFrontEnd* frontEnd_ = nullptr;
    int exitStatus_ = 0;
};

}  // namespace

int RunDesigner(int argc, char** argv) {
    auto* app = new DesignerApp(std::vector<std::string>(argv + 1, argv + argc));
    wxApp::SetInstance(app);
    const int status = wxEntry(argc, argv);
    // wxEntry ends with -1 (255) when the toolkit could not reach the display.
    return status < 0 || status > 2 ? COrvikApp::kExitCannotStart : status;
}

}  // namespace orvik::ui

int OrvikRunDesigner(int argc, char** argv) {
    return orvik::ui::RunDesigner(argc, argv);
}
