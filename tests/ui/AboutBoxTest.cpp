// The about box names the program's version, the libraries in use with theirs, and the plug-ins.
#include "ui/AboutBox.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <wx/dialog.h>
#include <wx/listctrl.h>

#include <filesystem>

#include "WindowFixture.h"
#include "core/Version.h"

namespace orvik::ui {
namespace {

using AboutBoxTest = test::WindowFixture;

TEST_F(AboutBoxTest, NamesTheVersionsOfTheProgramAndItsLibraries) {
    wxDialog* about = MakeAboutBox(frame_);
    about->Show();
    auto* libraries = dynamic_cast<wxListCtrl*>(about->FindWindowByName("libraries"));
    ASSERT_NE(libraries, nullptr);
    std::map<std::string, std::string> versions;
    for (long row = 0; row < libraries->GetItemCount(); ++row)
        versions[libraries->GetItemText(row, 0).utf8_string()] =
            libraries->GetItemText(row, 1).utf8_string();
    EXPECT_EQ(versions["SQLite"], sqlite3_libversion());  // the library loaded, not the header
    for (const char* library :
         {"libxml2", "libcurl", "OpenSSL", "libmicrohttpd", "muParser", "wxWidgets"})
        EXPECT_FALSE(versions[library].empty()) << library;
    EXPECT_NE(about->FindWindowByName("plugins"), nullptr);
    bool titled = false;
    for (wxWindow* child : about->GetChildren())
        if (child->GetLabel().Find(std::string("Orvik ") + kOrvikVersion) != wxNOT_FOUND)
            titled = true;
    EXPECT_TRUE(titled);
    std::filesystem::create_directories("test-output");
    test::ProcessPendingEvents();
    EXPECT_TRUE(test::SaveWindowPicture(*about, "test-output/designer-about.png"));
    about->Destroy();
}

}  // namespace
}  // namespace orvik::ui
