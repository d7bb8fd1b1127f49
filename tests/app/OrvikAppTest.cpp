#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

#include "TestSupport.h"
#include "app/OrvikApp.h"
#include "core/LanguageTexts.h"
#include "core/Paths.h"
#include "model/PropertyTranslation.h"

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

// Sets an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// What an interactive start-up showed; it outlives the front end, which dies with the program.
struct StartUpRecord {
    int SettingsShown = 0;
    std::vector<ObjectKind> PropertiesShown;
    std::function<void()> WhenSettingsShown;
};

class StartUpFrontEnd : public FrontEnd {
  public:
    explicit StartUpFrontEnd(StartUpRecord& record) : record_(record) {}
    MessageBoxResult ShowMessageBox(std::string_view, std::string_view, MessageBoxButtons,
                                    MessageBoxIcon) override {
        return MessageBoxResult::Ok;
    }
    void ShowProperties(ObjectKind kind, COvInfoObject*) override {
        record_.PropertiesShown.push_back(kind);
    }
    void ShowSettings() override {
        ++record_.SettingsShown;
        if (record_.WhenSettingsShown) record_.WhenSettingsShown();
    }

  private:
    StartUpRecord& record_;
};

class OrvikAppStartUp : public ::testing::Test {
  protected:
    test::TempDir home;
    ScopedEnv programFolder{"ORVIK_HOME", home.Path()};
    ScopedEnv settings{"ORVIK_CONFIG", home.Path() + "settings.ini"};
    StartUpRecord record;
};

TEST_F(OrvikAppStartUp, TheSettingsFillThePropertyBarOnlyWhenNoReportIsNamed) {
    COrvikApp empty({}, std::make_unique<StartUpFrontEnd>(record));
    EXPECT_EQ(empty.Run(), COrvikApp::kExitSuccess);
    EXPECT_EQ(record.SettingsShown, 1);

    record = {};
    const std::string report = home.Write("one.ovk", "<root><SHEET><Name>S</Name></SHEET></root>");
    COrvikApp loaded({report}, std::make_unique<StartUpFrontEnd>(record));
    EXPECT_EQ(loaded.Run(), COrvikApp::kExitSuccess);
    EXPECT_EQ(record.SettingsShown, 0);
    ASSERT_FALSE(record.PropertiesShown.empty());
    EXPECT_EQ(record.PropertiesShown.back(),
              ObjectKind::Report);  // the report object's properties stay
}

// Replaces the desktop's viewer by a script that writes down what it was asked to open.
class FakeViewer {
  public:
    explicit FakeViewer(const test::TempDir& home)
        : opened_(home.Path() + "opened"),
          path_("PATH", home.Path() + "bin:" + (std::getenv("PATH") ? std::getenv("PATH") : "")) {
        const std::string script = home.Write(
            "bin/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened_ + ".part' && mv '" +
                                opened_ + ".part' '" + opened_ + "'\n");
        chmod(script.c_str(), 0755);
    }
    // What the viewer was given, once it has run (it is detached, so it may take a moment).
    std::string Opened() const {
        for (int i = 0; i < 500 && !std::filesystem::exists(opened_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::string text;
        ReadWholeFile(opened_, text);
        return text;
    }

  private:
    std::string opened_;
    ScopedEnv path_;
};

TEST_F(OrvikAppStartUp, HelpOpensTheCurrentLanguagesFile) {
    const FakeViewer viewer(home);
    home.Write("orvik18_DEU.lng", "1025=Bezeichnung\n");
    home.Write("Orvik18_DEU.chm", "");
    bool started = false;
    COrvikApp app({}, std::make_unique<StartUpFrontEnd>(record));
    // The user switches to German once the designer is up, then asks for help.
    record.WhenSettingsShown = [&] {
        ASSERT_TRUE(ApplyLanguage(*app.Context(), "DEU"));
        started = app.OnAppHelp();
    };
    EXPECT_EQ(app.Run(), COrvikApp::kExitSuccess);
    EXPECT_TRUE(started);
    EXPECT_EQ(app.LanguageCode, "ENG");
    EXPECT_EQ(viewer.Opened(), home.Path() + "Orvik18_DEU.chm");
}

TEST(OrvikAppHelp, WaitsOnlyForItsOwnChild) {
    test::TempDir home;
    const FakeViewer viewer(home);
    // Another child of the program (a command a step runs, say) has ended but not been reaped.
    const pid_t other = fork();
    ASSERT_GE(other, 0);
    if (other == 0) _exit(7);
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(other), &info, WEXITED | WNOWAIT), 0);

    EXPECT_TRUE(COrvikApp::OpenHelpFile(home.Path(), "ENG"));
    EXPECT_EQ(viewer.Opened(), home.Path() + "Orvik18.chm");
    int status = 0;
    ASSERT_EQ(waitpid(other, &status, WNOHANG), other) << "the help took the other child's status";
    EXPECT_EQ(WEXITSTATUS(status), 7);
}

}  // namespace
}  // namespace orvik
