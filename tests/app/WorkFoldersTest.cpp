// Work folders: the designer's own folder never stands in a scheduled run's way, and what a
// crashed designer left behind is cleared without following anything planted there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "app/WorkFolders.h"
#include "core/FolderLock.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;

TEST(WorkFolders, TheDesignersOwnFolderLeavesTheSharedOneFree) {
    test::TempDir state;
    const std::string own = DesignerWorkFolder(state.Path(), ::getpid());
    EXPECT_EQ(own, state.Path() + "HTML/Designer-" + std::to_string(::getpid()) + "/");
    std::string problem;
    auto designer = FolderLock::AcquireOwn(own, problem);
    ASSERT_NE(designer, nullptr) << problem;
    // A scheduled run takes the shared folder at once while the designer holds its own.
    auto scheduled = FolderLock::Acquire(SharedWorkFolder(state.Path()),
                                         std::chrono::milliseconds(0), nullptr, problem);
    EXPECT_NE(scheduled, nullptr) << problem;
    // A second holder of the designer's folder is refused, not let in.
    std::string second;
    EXPECT_EQ(FolderLock::AcquireOwn(own, second), nullptr);
    EXPECT_NE(second.find("another run"), std::string::npos) << second;
}

TEST(WorkFolders, ALinkInPlaceOfTheDesignersFolderIsRefused) {
    test::TempDir state, elsewhere;
    fs::create_directories(state.Path() + "HTML");
    const std::string own = DesignerWorkFolder(state.Path(), ::getpid());
    fs::create_directory_symlink(elsewhere.Path(), own.substr(0, own.size() - 1));
    std::string problem;
    EXPECT_EQ(FolderLock::AcquireOwn(own, problem), nullptr);
    EXPECT_NE(problem.find("symbolic link"), std::string::npos) << problem;
}

TEST(WorkFolders, OnlyFoldersOfEndedDesignersAreCleared) {
    test::TempDir state, elsewhere;
    const std::string html = SharedWorkFolder(state.Path());
    // A process id no process has (beyond the kernel's limit) stands for a crashed designer.
    const std::string ended = DesignerWorkFolder(state.Path(), 99999999);
    fs::create_directories(ended + "pictures");
    std::ofstream(ended + "Orvik.htm") << "left behind";
    const std::string running = DesignerWorkFolder(state.Path(), ::getpid());
    fs::create_directories(running);
    fs::create_directories(html + "Designer-notanumber");
    fs::create_directories(html + "Other");
    // A link dressed as an ended designer's folder goes as a link; what it points at stays.
    std::ofstream(elsewhere.Path() + "precious.txt") << "keep";
    fs::create_directory_symlink(elsewhere.Path(), html + "Designer-99999998");

    EXPECT_EQ(RemoveAbandonedDesignerFolders(state.Path()), 2);
    EXPECT_FALSE(fs::exists(ended));
    EXPECT_FALSE(fs::exists(fs::symlink_status(html + "Designer-99999998")));
    EXPECT_TRUE(fs::exists(elsewhere.Path() + "precious.txt"));
    EXPECT_TRUE(fs::exists(running));
    EXPECT_TRUE(fs::exists(html + "Designer-notanumber"));
    EXPECT_TRUE(fs::exists(html + "Other"));
}

TEST(WorkFolders, ARunsNameCannotLeadOutOfTheSharedFolder) {
    EXPECT_EQ(RunWorkFolder("/s/", "../../etc"), "/s/HTML/Run-______etc/");
    EXPECT_EQ(RunWorkFolder("/s/", "daily-2_a"), "/s/HTML/Run-daily-2_a/");
    EXPECT_EQ(RunWorkFolder("/s/", ""), "/s/HTML/Run-_/");
}

}  // namespace
}  // namespace orvik
