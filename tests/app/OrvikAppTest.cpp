#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/OrvikApp.h"

namespace orvik {
namespace {

TEST(OrvikApp, HelpFileFollowsTheLanguageWhenOneExists) {
    test::TempDir home;
    EXPECT_EQ(COrvikApp::HelpFileName(home.Path(), "ENG"), "Orvik18.chm");
    EXPECT_EQ(COrvikApp::HelpFileName(home.Path(), "DEU"), "Orvik18.chm");
    home.Write("Orvik18_DEU.chm", "");
    EXPECT_EQ(COrvikApp::HelpFileName(home.Path(), "DEU"), "Orvik18_DEU.chm");
}

TEST(OrvikApp, UsageNamesEveryKey) {
    const std::string usage = COrvikApp::UsageText();
    for (const char* key : {"/act:TASK", "/prm:TEXT", "/saveas:FILE", "--help", "ORVIK_HOME",
                            "ORVIK_CONFIG", "Exit status"}) {
        EXPECT_NE(usage.find(key), std::string::npos) << key;
    }
}

}  // namespace
}  // namespace orvik
