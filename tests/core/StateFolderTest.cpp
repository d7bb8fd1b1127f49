#include "core/StateFolder.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "TestSupport.h"
#include "core/Paths.h"

namespace orvik {
namespace {

using Environment = std::map<std::string, std::string>;

EnvironmentLookup LookupIn(const Environment& environment) {
    return [&environment](const char* name) -> const char* {
        const auto found = environment.find(name);
        return found == environment.end() ? nullptr : found->second.c_str();
    };
}

// Root writes everywhere, so as root the unwritable folder is tried by the "nobody" account.
constexpr uid_t kNobody = 65534;

uid_t ChooserUid() {
    return geteuid() == 0 ? kNobody : geteuid();
}

// A program folder the choosing user cannot write, as an installed copy is: owned by root and
// read-only for others when the test runs as root, read-only for its owner otherwise.
class InstalledFolder {
  public:
    InstalledFolder() : path_(dir_.Path() + "lib/orvik/") {
        chmod(dir_.Path().c_str(), 0755);
        mkdir((dir_.Path() + "lib").c_str(), 0755);
        mkdir(path_.c_str(), 0555);
    }
    ~InstalledFolder() { chmod(path_.c_str(), 0755); }
    const std::string& Path() const { return path_; }

  private:
    test::TempDir dir_;
    std::string path_;
};

// ChooseStateFolder as the chooser: directly, or as root in a child that has become "nobody".
StateFolderChoice ChooseAsUser(const std::string& programFolder, const Environment& environment) {
    if (geteuid() != 0) return ChooseStateFolder(programFolder, LookupIn(environment));
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(3);
        const StateFolderChoice choice = ChooseStateFolder(programFolder, LookupIn(environment));
        const std::string reply = (choice.Moved ? "1" : "0") + choice.Folder;
        _exit(write(channel[1], reply.data(), reply.size()) == ssize_t(reply.size()) ? 0 : 4);
    }
    close(channel[1]);
    std::string reply;
    char buffer[512];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;)
        reply.append(buffer, got);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    if (reply.empty()) return {};
    return StateFolderChoice{reply.substr(1), reply[0] == '1'};
}

TEST(StateFolder, AWritableProgramFolderKeepsItsLogAndWorkFolder) {
    test::TempDir dir;
    const Environment environment{{"HOME", "/home/u"}, {"XDG_STATE_HOME", "/home/u/state"}};
    const StateFolderChoice choice = ChooseStateFolder(dir.Path(), LookupIn(environment));
    EXPECT_FALSE(choice.Moved);
    EXPECT_EQ(choice.Folder, dir.Path());
    // Given without its trailing "/", it comes back with one.
    const std::string bare = dir.Path().substr(0, dir.Path().size() - 1);
    EXPECT_EQ(ChooseStateFolder(bare, LookupIn(environment)).Folder, dir.Path());
}

TEST(StateFolder, AnInstalledFolderMovesToTheStateHome) {
    InstalledFolder installed;
    StateFolderChoice choice =
        ChooseAsUser(installed.Path(), {{"HOME", "/home/u"}, {"XDG_STATE_HOME", "/var/st/u/"}});
    EXPECT_TRUE(choice.Moved);
    EXPECT_EQ(choice.Folder, "/var/st/u/orvik/");

    // Without XDG_STATE_HOME, or with one the base directory rules call invalid (empty or
    // relative), the default under the home folder holds.
    for (const Environment& environment :
         {Environment{{"HOME", "/home/u"}}, Environment{{"HOME", "/home/u/"}},
          Environment{{"HOME", "/home/u"}, {"XDG_STATE_HOME", ""}},
          Environment{{"HOME", "/home/u"}, {"XDG_STATE_HOME", "state"}}}) {
        choice = ChooseAsUser(installed.Path(), environment);
        EXPECT_TRUE(choice.Moved);
        EXPECT_EQ(choice.Folder, "/home/u/.local/state/orvik/");
    }
}

TEST(StateFolder, WithoutHomeTheAccountsHomeFolderCounts) {
    InstalledFolder installed;
    const struct passwd* account = getpwuid(ChooserUid());
    ASSERT_NE(account, nullptr);
    const StateFolderChoice choice = ChooseAsUser(installed.Path(), {{"HOME", ""}});
    EXPECT_TRUE(choice.Moved);
    EXPECT_EQ(choice.Folder, WithTrailingSlash(account->pw_dir) + ".local/state/orvik/");
}

TEST(StateFolder, OrvikHomeAndAMissingFolderKeepTheProgramFolder) {
    InstalledFolder installed;
    // Whoever sets ORVIK_HOME has chosen the folder, writable or not.
    StateFolderChoice choice =
        ChooseAsUser(installed.Path(), {{"HOME", "/home/u"}, {"ORVIK_HOME", installed.Path()}});
    EXPECT_FALSE(choice.Moved);
    EXPECT_EQ(choice.Folder, installed.Path());
    // A folder that is not there is not an installed copy: nothing moves.
    choice = ChooseAsUser(installed.Path() + "missing/", {{"HOME", "/home/u"}});
    EXPECT_FALSE(choice.Moved);
    EXPECT_EQ(choice.Folder, installed.Path() + "missing/");
}

TEST(StateFolder, MakesItsFoldersPrivateAndOnlyOnce) {
    test::TempDir dir;
    const std::string folder = dir.Path() + ".local/state/orvik/";
    const mode_t previousMask = umask(022);
    std::string problem;
    EXPECT_EQ(MakeStateFolder(folder, problem), StateFolderMade::Now) << problem;
    umask(previousMask);
    for (const std::string& step :
         {dir.Path() + ".local", dir.Path() + ".local/state", dir.Path() + ".local/state/orvik"}) {
        struct stat status;
        ASSERT_EQ(stat(step.c_str(), &status), 0) << step;
        EXPECT_EQ(status.st_mode & 0777, 0700u) << step;
    }
    EXPECT_EQ(MakeStateFolder(folder, problem), StateFolderMade::AlreadyThere);
    EXPECT_EQ(MakeStateFolder(dir.Path() + "no-slash", problem), StateFolderMade::Now);
    EXPECT_EQ(MakeStateFolder(dir.Path() + "no-slash", problem), StateFolderMade::AlreadyThere);
}

TEST(StateFolder, AFileInTheWayFailsWithTheReason) {
    test::TempDir dir;
    const std::string file = dir.Write("state", "not a folder");
    std::string problem;
    EXPECT_EQ(MakeStateFolder(file + "/orvik/", problem), StateFolderMade::Failed);
    EXPECT_EQ(problem, "cannot make " + file + "/orvik: Not a directory");
    problem.clear();
    EXPECT_EQ(MakeStateFolder(file + "/", problem), StateFolderMade::Failed);
    EXPECT_EQ(problem, "cannot make " + file + ": Not a directory");
}

TEST(StateFolder, TheNoticeNamesBothFolders) {
    EXPECT_EQ(MovedStateNotice("/usr/lib/orvik/", "/home/u/.local/state/orvik/"),
              "orvik: the program folder /usr/lib/orvik cannot be written; log and work files go "
              "to /home/u/.local/state/orvik\n");
    EXPECT_EQ(MovedStateNotice("/opt/orvik/", "/s/orvik/", "cannot make /s: Permission denied"),
              "orvik: the program folder /opt/orvik cannot be written; log and work files cannot "
              "go to /s/orvik either (cannot make /s: Permission denied)\n");
}

}  // namespace
}  // namespace orvik
