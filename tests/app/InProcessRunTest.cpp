// A run inside a process that serves many: its own work folder and log, and what goes wrong said
// in its outcome rather than thrown or lost.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "app/InProcessRun.h"
#include "app/WorkFolders.h"
#include "core/FolderLock.h"
#include "core/Program.h"
#include "core/StopRequest.h"

namespace orvik {
namespace {

class InProcessRun : public ::testing::Test {
  protected:
    std::string Report(const std::string& steps) const {
        return home_.Write(
            "r.ovk",
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<root><ACT><Name>Daily</Name>"
            "</ACT>" +
                steps + "</root>\n");
    }

    test::TempDir home_;
    Program program_{home_.Path(), home_.Path() + "settings.ini"};
};

TEST_F(InProcessRun, ARunWritesItsLogInItsOwnFolder) {
    const std::string path = Report(
        "<ACT><ActParent>0</ActParent><Name>Say</Name><AType>CMD</AType><cmd>echo hi</cmd></ACT>");
    const InProcessRunOutcome outcome = RunReportInProcess(program_, {path, "Daily", "", "one"});
    EXPECT_TRUE(outcome.Succeeded) << outcome.FirstError;
    EXPECT_EQ(outcome.WorkFolder, RunWorkFolder(home_.Path(), "one"));
    const std::string log = test::ReadFileBytes(outcome.LogPath);
    EXPECT_NE(log.find("CMD Output: <hi>"), std::string::npos) << log;
    // Nothing of the run lands in the program's own log.
    EXPECT_EQ(test::ReadFileBytes(home_.Path() + "Orvik18.log"), "");
}

TEST_F(InProcessRun, WhatGoesWrongIsInTheOutcome) {
    const InProcessRunOutcome missing =
        RunReportInProcess(program_, {home_.Path() + "absent.ovk", "Daily", "", "missing"});
    EXPECT_FALSE(missing.Succeeded);
    EXPECT_GE(missing.ErrorCount, 1);

    const InProcessRunOutcome noTask =
        RunReportInProcess(program_, {Report(""), "Weekly", "", "notask"});
    EXPECT_FALSE(noTask.Succeeded);
    EXPECT_EQ(noTask.FirstError, "The report has no task named 'Weekly'");

    const InProcessRunOutcome badParameter =
        RunReportInProcess(program_, {Report(""), "Daily", "Nope=1", "badprm"});
    EXPECT_FALSE(badParameter.Succeeded);
}

TEST_F(InProcessRun, TwoRunsOfOneNameAtOnceAreRefusedNotMixed) {
    std::string problem;
    const auto other = FolderLock::AcquireOwn(RunWorkFolder(home_.Path(), "same"), problem);
    ASSERT_NE(other, nullptr) << problem;
    const InProcessRunOutcome outcome =
        RunReportInProcess(program_, {Report(""), "Daily", "", "same"});
    EXPECT_FALSE(outcome.Succeeded);
    EXPECT_NE(outcome.FirstError.find("the run did not start: another run"), std::string::npos)
        << outcome.FirstError;
}

TEST_F(InProcessRun, StoppingOneRunEndsItAloneAndLeavesTheOtherToFinish) {
    const std::string steps =
        "<ACT><ActParent>0</ActParent><Name>Wait</Name><AType>CMD</AType><cmd>sleep 6</cmd></ACT>"
        "<ACT><ActParent>0</ActParent><Name>After</Name><AType>CMD</AType><cmd>echo after</cmd>"
        "</ACT>";
    const std::string path = Report(steps);
    InProcessRunRequest stopped{path, "Daily", "", "stopped"};
    stopped.Stop = std::make_shared<RunStopFlag>();
    InProcessRunOutcome stoppedOutcome;
    InProcessRunOutcome otherOutcome;
    const auto started = std::chrono::steady_clock::now();
    std::thread stoppedRun([&] { stoppedOutcome = RunReportInProcess(program_, stopped); });
    std::thread otherRun([&] {
        otherOutcome = RunReportInProcess(program_, {path, "Daily", "", "other"});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    stopped.Stop->Request("the request was cancelled");
    stoppedRun.join();
    const auto stoppedAfter = std::chrono::steady_clock::now() - started;
    otherRun.join();

    // Far from the sleep's 6 s, so that a loaded machine cannot blur the two.
    EXPECT_LT(stoppedAfter, std::chrono::milliseconds(4500)) << "the sleep was not ended";
    EXPECT_FALSE(stoppedOutcome.Succeeded);
    EXPECT_NE(stoppedOutcome.FirstError.find("the run was stopped: the request was cancelled"),
              std::string::npos)
        << stoppedOutcome.FirstError;
    const std::string stoppedLog = test::ReadFileBytes(stoppedOutcome.LogPath);
    EXPECT_NE(stoppedLog.find("CMD was stopped: the run was stopped: the request was cancelled"),
              std::string::npos)
        << stoppedLog;
    EXPECT_EQ(stoppedLog.find("Step After"), std::string::npos) << "a step started after the stop";

    EXPECT_TRUE(otherOutcome.Succeeded) << otherOutcome.FirstError;
    EXPECT_NE(test::ReadFileBytes(otherOutcome.LogPath).find("CMD Output: <after>"),
              std::string::npos);
}

}  // namespace
}  // namespace orvik
