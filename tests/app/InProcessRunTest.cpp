// A run inside a process that serves many: its own work folder and log, and what goes wrong said
// in its outcome rather than thrown or lost.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "app/InProcessRun.h"
#include "app/WorkFolders.h"
#include "core/FolderLock.h"
#include "core/Program.h"

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

}  // namespace
}  // namespace orvik
