// The stop path that queries share: a stop request and a time limit seen by the thread that does
// the work, and a cancel run from the watching thread for work blocked where nothing can look.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/StopRequest.h"

namespace orvik {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class StopRequestTest : public ::testing::Test {
  protected:
    void TearDown() override { ClearStopRequest(); }
};

TEST_F(StopRequestTest, AStopRequestIsSeenWithTheSignalThatMadeIt) {
    EXPECT_FALSE(ShouldStop());
    EXPECT_EQ(StopReason(), "");
    EXPECT_NO_THROW(ThrowIfStopped("The query"));
    RequestStop(SIGINT);
    EXPECT_TRUE(ShouldStop());
    EXPECT_EQ(StopReason(), "the run was terminated by signal 2");
    try {
        ThrowIfStopped("The query");
        ADD_FAILURE() << "no WorkStopped";
    } catch (const WorkStopped& stopped) {
        EXPECT_STREQ(stopped.what(), "The query was stopped: the run was terminated by signal 2");
    }
    ClearStopRequest();
    EXPECT_FALSE(ShouldStop());
}

TEST_F(StopRequestTest, ATimeLimitEndsWorkOnItsThreadOnlyAndTheEarliestEndCounts) {
    {
        const TimeLimitScope none(0, "Unlimited");
        EXPECT_FALSE(ShouldStop());
        const TimeLimitScope outer(1, "QueryTimeout");
        const TimeLimitScope inner(60, "CommandTimeout");
        EXPECT_FALSE(ShouldStop());
        std::this_thread::sleep_for(1100ms);
        EXPECT_TRUE(ShouldStop());
        // The outer limit ended first: it is the one named.
        EXPECT_EQ(StopReason(), "it ran longer than 1 s (time-out QueryTimeout)");
        // Another thread's work is not limited by this thread's scope.
        bool other = true;
        std::thread([&] { other = ShouldStop(); }).join();
        EXPECT_FALSE(other);
        // A stop request is named before a passed limit.
        RequestStop(SIGTERM);
        EXPECT_EQ(StopReason(), "the run was terminated by signal 15");
        ClearStopRequest();
    }
    // The limit ends with its scope.
    EXPECT_FALSE(ShouldStop());
    {
        const TimeLimitScope outer(60, "QueryTimeout");
        const TimeLimitScope inner(1, "CommandTimeout");
        std::this_thread::sleep_for(1100ms);
        EXPECT_EQ(StopReason(), "it ran longer than 1 s (time-out CommandTimeout)");
    }
}

// A call blocked where this program cannot look, as a driver's is: waiting for a child process
// that would sleep for a minute. The cancel ends the child, and so the wait.
TEST_F(StopRequestTest, ACancelEndsABlockedCallOnAStopRequest) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto start = Clock::now();
    std::thread stopper([] {
        std::this_thread::sleep_for(200ms);
        RequestStop(SIGTERM);
    });
    std::string reason;
    {
        const CancelOnStop cancel([child] { kill(child, SIGKILL); });
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status));
        reason = cancel.Reason();
    }
    stopper.join();
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(reason, "the run was terminated by signal 15");
}

// One run's flag stops the work of that run's threads and its cancels; a thread of another run
// goes on, and a waiting descriptor of the stopped run wakes.
TEST_F(StopRequestTest, ARunsOwnStopReachesItsThreadsOnly) {
    const auto flag = std::make_shared<RunStopFlag>();
    std::atomic<bool> otherSawStop{false};
    std::atomic<bool> otherDone{false};
    std::thread other([&] {
        const RunStopScope otherRun(std::make_shared<RunStopFlag>());
        while (!flag->Requested()) std::this_thread::sleep_for(5ms);
        otherSawStop = ShouldStop();
        otherDone = true;
    });
    std::atomic<int> cancels{0};
    std::string reason;
    {
        const RunStopScope thisRun(flag);
        EXPECT_FALSE(StopRequested());
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        const CancelOnStop cancel([&] { ++cancels; });
        std::thread stopper([&] {
            std::this_thread::sleep_for(100ms);
            flag->Request("cancelled by the caller");
        });
        const auto start = Clock::now();
        // Nothing is ever written to the pipe: only the stop ends the wait.
        EXPECT_EQ(WaitForDescriptor(pipeFds[0], POLLIN, 10'000), DescriptorWait::Stopped);
        EXPECT_LT(Clock::now() - start, 5s);
        stopper.join();
        EXPECT_TRUE(ShouldStop());
        EXPECT_EQ(StopReason(), "the run was stopped: cancelled by the caller");
        EXPECT_THROW(ThrowIfStopped("The query"), WorkStopped);
        const auto waited = Clock::now();
        while (cancels == 0 && Clock::now() - waited < 5s) std::this_thread::sleep_for(10ms);
        reason = cancel.Reason();
        close(pipeFds[0]);
        close(pipeFds[1]);
    }
    other.join();
    EXPECT_TRUE(otherDone);
    EXPECT_FALSE(otherSawStop);
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(reason, "the run was stopped: cancelled by the caller");
    // Out of the run's scope the thread is no one's: nothing stops it.
    EXPECT_FALSE(StopRequested());
}

TEST_F(StopRequestTest, ACancelFiresOnceForTheTimeLimitAndNeverAfterItsEnd) {
    std::atomic<int> calls{0};
    {
        const TimeLimitScope limit(1, "QueryTimeout");
        const CancelOnStop cancel([&] { ++calls; });
        const auto start = Clock::now();
        while (calls == 0 && Clock::now() - start < 5s) std::this_thread::sleep_for(10ms);
        EXPECT_GE(Clock::now() - start, 900ms);
        EXPECT_EQ(cancel.Reason(), "it ran longer than 1 s (time-out QueryTimeout)");
        std::this_thread::sleep_for(200ms);
    }
    EXPECT_EQ(calls, 1);
    // One that ends before anything is due is never called, even when a stop comes later.
    std::atomic<bool> called{false};
    {
        const CancelOnStop cancel([&] { called = true; });
        EXPECT_EQ(cancel.Reason(), "");
    }
    RequestStop(SIGTERM);
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(called);
}

TEST_F(StopRequestTest, TheEndOfACancelWaitsForTheCancelThatRuns) {
    std::atomic<bool> started{false}, finished{false};
    auto cancel = std::make_unique<CancelOnStop>([&] {
        started = true;
        std::this_thread::sleep_for(300ms);
        finished = true;
    });
    RequestStop(SIGTERM);
    const auto start = Clock::now();
    while (!started && Clock::now() - start < 5s) std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(started);
    cancel.reset();
    // What the cancel touches (a statement handle) may be freed right after this point.
    EXPECT_TRUE(finished);
}

}  // namespace
}  // namespace orvik
