// Ground for tests of one designer window: the designer-logic fixture's program, report and
// databases, made the designer's context, and a frame to put the window in.
#pragma once

#include <wx/frame.h>

#include "UiTestSupport.h"
#include "design/DesignerFixture.h"
#include "ui/DesignerContext.h"

namespace orvik::test {

class WindowFixture : public DesignerFixture {
  protected:
    void SetUp() override {
        ui::SetDesignerContext(&Ctx());
        frame_ = new wxFrame(nullptr, wxID_ANY, "window");
        frame_->Show();
    }
    void TearDown() override {
        frame_->Destroy();
        ProcessPendingEvents();
        ui::SetDesignerContext(nullptr);
    }
    wxFrame* frame_ = nullptr;
};

}  // namespace orvik::test
