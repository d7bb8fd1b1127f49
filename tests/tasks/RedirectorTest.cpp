#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "TestSupport.h"
#include "tasks/Redirector.h"

namespace {

// Runs a command the way the task runner does and returns its output.
std::string RunCommand(const std::string& command, int* status = nullptr) {
    UxRedirector redirector;
    EXPECT_TRUE(redirector.Open(command));
    const int result = redirector.WaitForChild();
    for (int i = 0; i < 100 && !redirector.HasEnded(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(redirector.HasEnded()) << command;
    if (status) *status = result;
    return redirector.Output();
}

size_t OpenDescriptors() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

TEST(Redirector, OutputAndErrorShareOnePipeInArrivalOrder) {
    EXPECT_EQ(RunCommand("printf one; sleep 0.05; printf two >&2; sleep 0.05; printf three"),
              "onetwothree");
    EXPECT_EQ(RunCommand("true"), "");
}

TEST(Redirector, OutputUpToTheCapArrivesWhole) {
    const std::string output = RunCommand("head -c 100000 /dev/zero | tr '\\0' x; echo end");
    EXPECT_EQ(output.size(), 100004u);
    EXPECT_EQ(output.substr(output.size() - 4), "end\n");
}

// 200 MB of output cost a few hundred kilobytes: the head, a note of what was left out, and the
// end, where the reason a command failed usually stands.
TEST(Redirector, LongOutputKeepsItsHeadAndItsEnd) {
    const std::string output =
        RunCommand("echo first; head -c 200000000 /dev/zero | tr '\\0' x; echo; echo last words");
    EXPECT_LT(output.size(), UxRedirector::kKeptHead + 2 * UxRedirector::kKeptTail + 100);
    EXPECT_EQ(output.substr(0, 6), "first\n");
    EXPECT_EQ(output.substr(output.size() - 11), "last words\n");
    const size_t note = output.find(" bytes of output left out ...] ");
    ASSERT_NE(note, std::string::npos);
    const size_t number = output.rfind(" [... ", note) + 1;  // the note stands between blanks
    ASSERT_NE(number, std::string::npos + 1);
    const long long dropped = std::stoll(output.substr(number + 5, note - number - 5));
    // Everything written is either kept or counted as left out.
    EXPECT_EQ(static_cast<long long>(output.size()) - static_cast<long long>(note - number) - 1 -
                  static_cast<long long>(std::string(" bytes of output left out ...] ").size()) +
                  dropped,
              6 + 200000000LL + 1 + 11);
}

TEST(Redirector, AMissingProgramIsTheShellsFailure) {
    int status = 0;
    const std::string output = RunCommand("no-such-program-orvik --x", &status);
    EXPECT_NE(output.find("not found"), std::string::npos) << output;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 127);
}

TEST(Redirector, AChildReadingItsInputSeesItsEndAtOnce) {
    int status = -1;
    EXPECT_EQ(RunCommand("cat; read line; echo \"done:$line\"", &status), "done:\n");
    EXPECT_EQ(status, 0);
}

TEST(Redirector, CloseIsIdempotentAndSafeAfterTheReaderEnded) {
    UxRedirector redirector;
    ASSERT_TRUE(redirector.Open("echo hi"));
    redirector.WaitForChild();
    for (int i = 0; i < 100 && !redirector.HasEnded(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    redirector.Close();
    redirector.Close();
    EXPECT_EQ(redirector.Output(), "hi\n");
    EXPECT_FALSE(redirector.Open("echo again"));  // one child per redirector
}

TEST(Redirector, AThousandCommandsLeaveNoDescriptorsAndNoZombies) {
    const size_t before = OpenDescriptors();
    for (int i = 0; i < 1000; ++i) {
        UxRedirector redirector;
        ASSERT_TRUE(redirector.Open(i % 2 ? "echo $$" : "exit 3"));
        redirector.WaitForChild();
        // Every other one is destroyed without waiting for its reader.
        if (i % 3 == 0) redirector.Close();
    }
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // no child left to reap
}

TEST(Redirector, ARunningChildIsStoppedWithItsGroupWhenTheRunnerGivesUp) {
    const auto start = std::chrono::steady_clock::now();
    pid_t group = 0;
    {
        UxRedirector redirector;
        ASSERT_TRUE(redirector.Open("sleep 30 & sleep 30"));
        group = redirector.ChildProcess();
        ASSERT_EQ(::kill(-group, 0), 0);  // the child leads a group of its own
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_TRUE(orvik::test::ProcessGroupGone(group, std::chrono::seconds(5)));
}

TEST(Redirector, CloseStopsTheReaderWhileOutputStillFlowsOrIsHeldOpen) {
    // A child that writes without pause, and a child gone while what it started holds the pipe.
    for (const char* command : {"yes", "sleep 1000 & echo started"}) {
        UxRedirector redirector;
        ASSERT_TRUE(redirector.Open(command));
        for (int i = 0; i < 250 && redirector.Output().empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_FALSE(redirector.WaitForOutputEnd(std::chrono::milliseconds(200))) << command;
        const auto start = std::chrono::steady_clock::now();
        redirector.Close();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << command;
        EXPECT_FALSE(redirector.Output().empty()) << command;
        ::kill(-redirector.ChildProcess(), SIGKILL);
    }
}

}  // namespace
