// The designer's tests run inside one toolkit application, started before the first test and
// taken down after the last, on the virtual display under-xvfb.sh provides.
#include <gtest/gtest.h>
#include <wx/wx.h>

namespace {

// A toolkit assertion is a failed test here, never a dialog waiting for a click.
void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& message) {
    ADD_FAILURE() << "wxWidgets assertion " << cond << " in " << func << " (" << file << ":" << line
                  << "): " << message;
}

class UiTestApp : public wxApp {
  public:
    bool OnInit() override {
        // A log message box would wait for a click nobody makes: messages go to stderr.
        delete wxLog::SetActiveTarget(new wxLogStderr);
        wxInitAllImageHandlers();
        return true;
    }
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    wxSetAssertHandler(FailOnAssert);
    wxApp::SetInstance(new UiTestApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        std::fputs("ui tests: the toolkit did not start (no display?)\n", stderr);
        return 1;
    }
    const int status = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return status;
}
