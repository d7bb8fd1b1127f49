// FolderLock: one holder of a work folder at a time, across processes and threads, however the
// holder ends and whatever happens to the folder meanwhile.
#include "core/FolderLock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "TestSupport.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::TempDir;

std::unique_ptr<FolderLock> Take(const std::string& folder, std::chrono::milliseconds wait,
                                 std::string& problem, int* waits = nullptr) {
    return FolderLock::Acquire(
        folder, wait,
        [waits] {
            if (waits) ++*waits;
        },
        problem);
}

bool Free(const std::string& folder) {
    std::string problem;
    return Take(folder, 0ms, problem) != nullptr;
}

// A child process that holds the lock on `folder` until it is killed.
class Holder {
  public:
    explicit Holder(const std::string& folder) {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            std::string problem;
            auto lock = FolderLock::Acquire(folder, 0ms, nullptr, problem);
            const char told = lock ? '1' : '0';
            if (write(ready[1], &told, 1) != 1) _exit(1);
            pause();
            _exit(0);
        }
        close(ready[1]);
        char told = 0;
        held_ = read(ready[0], &told, 1) == 1 && told == '1';
        close(ready[0]);
    }
    ~Holder() { Kill(); }
    bool Held() const { return held_; }
    // Ends the holder the hard way: it has no chance to let go itself.
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
    bool held_ = false;
};

TEST(FolderLockTest, ASecondProcessWaitsItsTimeAndGetsTheLockWhenTheHolderDies) {
    TempDir dir;
    const std::string folder = dir.Path() + "HTML/";
    Holder holder(folder);
    ASSERT_TRUE(holder.Held());
    EXPECT_TRUE(fs::is_directory(folder)) << "the folder is made when missing";

    std::string problem;
    int waits = 0;
    const auto started = Clock::now();
    EXPECT_EQ(Take(folder, 300ms, problem, &waits), nullptr);
    const auto waited = Clock::now() - started;
    EXPECT_GE(waited, 300ms);
    EXPECT_LT(waited, 3s);
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(problem, "another run of Orvik is using the folder " + folder);

    // With no time to wait it answers at once, and tells of no waiting.
    waits = 0;
    EXPECT_EQ(Take(folder, 0ms, problem, &waits), nullptr);
    EXPECT_EQ(waits, 0);

    holder.Kill();
    waits = 0;
    EXPECT_NE(Take(folder, 0ms, problem, &waits), nullptr);
    EXPECT_EQ(waits, 0);
}

TEST(FolderLockTest, AWaiterInAnotherThreadGetsTheLockWhenItIsLetGo) {
    TempDir dir;
    const std::string folder = dir.Path() + "HTML/";
    std::string problem;
    auto first = Take(folder, 0ms, problem);
    ASSERT_NE(first, nullptr) << problem;
    std::atomic<bool> waiting = false;
    std::unique_ptr<FolderLock> second;
    std::thread waiter([&] {
        std::string reason;
        second = FolderLock::Acquire(
            folder, 10s, [&] { waiting = true; }, reason);
    });
    while (!waiting) std::this_thread::sleep_for(10ms);
    first.reset();
    waiter.join();
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(Free(folder));
    second.reset();
    EXPECT_TRUE(Free(folder));
}

// Someone deletes the work folder under a running run: a run starting then makes it again, but
// must still wait for the first, which goes on writing into whatever the name leads to.
TEST(FolderLockTest, AFolderDeletedUnderItsHolderIsStillLocked) {
    TempDir dir;
    const std::string folder = dir.Path() + "HTML/";
    Holder holder(folder);
    ASSERT_TRUE(holder.Held());
    fs::remove_all(folder);

    std::string problem;
    EXPECT_EQ(Take(folder, 200ms, problem), nullptr);
    EXPECT_EQ(problem, "another run of Orvik is using the folder " + folder);
    holder.Kill();
    EXPECT_NE(Take(folder, 0ms, problem), nullptr) << problem;
    EXPECT_TRUE(fs::is_directory(folder));
}

// The folder is replaced while a second run waits for it: when the first lets go, the waiter
// holds what the name leads to now, and a third run still has to wait.
TEST(FolderLockTest, AFolderReplacedWhileWaitingIsTheOneLocked) {
    TempDir dir;
    const std::string folder = dir.Path() + "HTML/";
    std::string problem;
    auto first = Take(folder, 0ms, problem);
    ASSERT_NE(first, nullptr);
    std::atomic<bool> waiting = false;
    std::unique_ptr<FolderLock> second;
    std::thread waiter([&] {
        std::string reason;
        second = FolderLock::Acquire(
            folder, 10s, [&] { waiting = true; }, reason);
    });
    while (!waiting) std::this_thread::sleep_for(10ms);
    fs::rename(dir.Path() + "HTML", dir.Path() + "HTML.old");
    fs::create_directory(folder);
    first.reset();
    waiter.join();
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(Free(folder));
}

// What stands where the folder should be and is none is refused at once, saying so, instead of
// being waited for.
TEST(FolderLockTest, ALinkPlantedAsTheFolderIsFollowedOnlyToAFolder) {
    TempDir dir, elsewhere;
    const std::string file = elsewhere.Write("file", "x");
    const std::string toFile = dir.Path() + "ToFile";
    ASSERT_EQ(symlink(file.c_str(), toFile.c_str()), 0);
    const std::string dangling = dir.Path() + "Dangling";
    ASSERT_EQ(symlink((elsewhere.Path() + "none").c_str(), dangling.c_str()), 0);
    for (const std::string& planted : {toFile, dangling}) {
        SCOPED_TRACE(planted);
        std::string problem;
        int waits = 0;
        const auto started = Clock::now();
        EXPECT_EQ(Take(planted, 5s, problem, &waits), nullptr);
        EXPECT_LT(Clock::now() - started, 1s);
        EXPECT_EQ(waits, 0);
        EXPECT_FALSE(problem.empty());
        EXPECT_EQ(problem.find("another run"), std::string::npos) << problem;
    }
    std::string problem;
    Take(toFile, 0ms, problem);
    EXPECT_EQ(problem, toFile + " is not a folder");
    EXPECT_EQ(test::ReadFileBytes(file), "x");

    // A link to a folder is the folder: taking it by either name is taking one lock.
    const std::string real = elsewhere.Path() + "work";
    fs::create_directory(real);
    const std::string linked = dir.Path() + "HTML";
    ASSERT_EQ(symlink(real.c_str(), linked.c_str()), 0);
    auto held = Take(linked, 0ms, problem);
    ASSERT_NE(held, nullptr) << problem;
    EXPECT_FALSE(Free(real + "/"));
}

}  // namespace
}  // namespace orvik
