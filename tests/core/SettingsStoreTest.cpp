#include <gtest/gtest.h>
#include <unistd.h>

#include "TestSupport.h"
#include "core/Paths.h"
#include "core/SettingsStore.h"

namespace orvik {
namespace {

TEST(SettingsStore, ValuesSurviveReopeningExactly) {
    test::TempDir dir;
    const std::string path = dir.Path() + "sub/Orvik18.ini";
    {
        SettingsStore store(path);
        ASSERT_TRUE(store.WriteString("General", "DefSrvMail", "mail.example:2525"));
        ASSERT_TRUE(store.WriteString("General", "Odd", "C:\\Reports\\new\nsecond line = x"));
        ASSERT_TRUE(store.WriteInt("General", "Count", -12));
        ASSERT_TRUE(store.WriteString("", "Loose", "no section"));
        ASSERT_TRUE(store.WriteString("General", "Blanks", "  padded \"text\"  "));
        ASSERT_TRUE(store.WriteString("General", "DefSrvMail", "replaced"));
    }
    SettingsStore again(path);
    EXPECT_EQ(again.GetString("General", "DefSrvMail"), "replaced");
    EXPECT_EQ(again.GetString("General", "Odd"), "C:\\Reports\\new\nsecond line = x");
    EXPECT_EQ(again.GetInt("General", "Count", 0), -12);
    EXPECT_EQ(again.GetString("", "Loose"), "no section");
    EXPECT_EQ(again.GetString("General", "Blanks"), "  padded \"text\"  ");
    EXPECT_FALSE(again.Has("General", "Loose"));
    EXPECT_EQ(again.GetString("General", "Missing", "fallback"), "fallback");
}

TEST(SettingsStore, SecretsAreNotStoredInClearButReadBack) {
    test::TempDir dir;
    const std::string path = dir.Path() + "s.ini";
    SettingsStore(path).WriteSecret("General", "Pwd", "hunter2");
    std::string file;
    ASSERT_TRUE(ReadWholeFile(path, file));
    EXPECT_EQ(file.find("hunter2"), std::string::npos);
    EXPECT_EQ(SettingsStore(path).GetSecret("General", "Pwd"), "hunter2");
}

TEST(SettingsStore, AFileWrittenByHandIsRead) {
    test::TempDir dir;
    const std::string path =
        dir.Write("hand.ini", "; comment\r\n[General]\r\n Language = RUS \r\n");
    EXPECT_EQ(SettingsStore(path).GetString("General", "Language"), "RUS");
}

TEST(SettingsStore, AnUnwritableLocationFailsWithAReason) {
    if (geteuid() == 0) GTEST_SKIP() << "root can write anywhere";
    SettingsStore store("/proc/orvik/settings.ini");
    EXPECT_FALSE(store.WriteString("General", "A", "1"));
    EXPECT_NE(store.LastError().find("cannot"), std::string::npos);
}

}  // namespace
}  // namespace orvik
