#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <regex>

#include "TestSupport.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "tasks/TaskRunner.h"

namespace orvik {
namespace {

class TaskRunnerTest : public ::testing::Test {
  protected:
    TaskRunnerTest() { Report().StartNew(); }

    CReport& Report() { return program.Context().Report(); }

    COvInfoAct* Add(const char* name, const char* type = nullptr, COvInfoAct* parent = nullptr,
                    const char* command = nullptr) {
        auto task = std::make_unique<COvInfoAct>(&program.Context().Registries(), GroupId::Task);
        task->Name.Value = name;
        task->Parent = parent;
        if (type) {
            task->AType.Value = type;
            program.Context().Registries().PrepareNewCombo(task->AType, task->Props, true);
        }
        if (command) task->GetPropByName("cmd")->Value = command;
        Report().Tasks.push_back(std::move(task));
        return Report().Tasks.back().get();
    }

    // The messages of the log, without their date, time and line.
    std::vector<std::string> LogMessages() {
        std::vector<std::string> messages;
        const std::string log = program.ReadLog();
        const std::regex line(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d \(\d+\) : ([^\n]*))");
        for (auto it = std::sregex_iterator(log.begin(), log.end(), line);
             it != std::sregex_iterator(); ++it) {
            messages.push_back((*it)[1]);
        }
        return messages;
    }

    test::TestProgram program;
};

TEST_F(TaskRunnerTest, StepsRunInListOrderWithWholeListPositions) {
    COvInfoAct* daily = Add("Daily");
    COvInfoAct* weekly = Add("Weekly");
    Add("Page", "HTML", daily);
    Add("Other", "CMD", weekly, "echo never");
    Add("Group", "GRP", daily);
    Add("Echo", "CMD", daily, "printf 'a\\nb\\n'");
    Add("Mail", "SMTP", daily);
    Add("File", "HTMFile", daily);
    Add("Odd", "", daily);

    EXPECT_EQ(DoAct(program.Context(), "Daily"), 1);
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{
                                 "Step Page Type=HTML ", "Step Group Type=GRP ",
                                 "Step Echo Type=CMD ", "CMD Output: <ab>", "Step Mail Type=SMTP ",
                                 "Step File Type=HTMFile ", "Step Odd Type= "}));
    std::vector<std::string> shown;
    for (const auto& m : program.Front().Messages) shown.push_back(m.Text);
    // The mail step had no server to send to: reported, and the run went on.
    EXPECT_EQ(shown,
              (std::vector<std::string>{"HTML 2", "GRP 4 ???",
                                        "Error: SendExport Empty ExportServer !", "HTMFile 7"}));
    EXPECT_EQ(program.Context().ErrorCount(), 1);
}

TEST_F(TaskRunnerTest, TasksAreFoundByExactNameAndAllRunWithoutOne) {
    COvInfoAct* a = Add("A");
    Add("one", "CMD", a, "echo 1");
    COvInfoAct* b = Add("B");
    Add("two", "CMD", b, "echo 2");
    Add("A", "CMD", b, "echo step-named-like-a-task");
    COvInfoAct* again = Add("A");
    Add("three", "CMD", again, "echo 3");
    EXPECT_EQ(DoAct(program.Context(), "a"), 0);
    EXPECT_EQ(DoAct(program.Context(), "A"), 2);
    EXPECT_EQ(DoActs(program.Context()), 3);
    const auto log = LogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "CMD Output: <1>"), 2);
    EXPECT_EQ(std::count(log.begin(), log.end(), "CMD Output: <3>"), 2);
    EXPECT_EQ(std::count(log.begin(), log.end(), "CMD Output: <2>"), 1);
}

TEST_F(TaskRunnerTest, AFailingCommandIsAFailedStepAndTheRunGoesOn) {
    COvInfoAct* task = Add("T");
    Add("Bad", "CMD", task, "echo oops >&2; exit 3");
    Add("Gone", "CMD", task, "no-such-program-orvik");
    Add("Good", "CMD", task, "echo fine");
    DoAct(program.Context(), "T");
    const auto log = LogMessages();
    EXPECT_NE(std::find(log.begin(), log.end(), "CMD Output: <oops>"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "CMD failed with exit status 3"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "CMD failed with exit status 127"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "CMD Output: <fine>"), log.end());
    EXPECT_EQ(program.Context().ErrorCount(), 2);
}

// The process group id a command printed after `marker`.
pid_t GroupPrinted(const std::vector<std::string>& log, const std::string& marker) {
    for (const std::string& message : log) {
        const size_t at = message.find(marker);
        if (message.rfind("CMD Output: <", 0) == 0 && at != std::string::npos)
            return static_cast<pid_t>(std::atol(message.c_str() + at + marker.size()));
    }
    return 0;
}

TEST_F(TaskRunnerTest, ACommandThatDoesNotEndIsStoppedWithAllItStartedAndTheRunGoesOn) {
    program.Context().Registries().FindSetting("CmdTimeout")->Value = "1";
    COvInfoAct* task = Add("T");
    // The group id as the system has it (field 5 of the shell's stat line), not as assumed. One
    // member ignores SIGTERM and is left for SIGKILL.
    Add("Stuck", "CMD", task,
        "echo before pgid=$(cut -d' ' -f5 /proc/$$/stat); (trap '' TERM; sleep 100) & sleep 100");
    Add("Next", "CMD", task, "echo after");
    const auto start = std::chrono::steady_clock::now();
    DoAct(program.Context(), "T");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));

    const auto log = LogMessages();
    const pid_t group = GroupPrinted(log, "pgid=");
    ASSERT_GT(group, 0) << program.ReadLog();
    const std::string output = "CMD Output: <before pgid=" + std::to_string(group) + ">";
    const auto stopped = std::find(log.begin(), log.end(), output);
    ASSERT_NE(stopped, log.end()) << program.ReadLog();
    ASSERT_NE(stopped + 1, log.end());
    EXPECT_EQ(stopped[1], "CMD was stopped after 1 s (time-out CmdTimeout)");
    EXPECT_NE(std::find(log.begin(), log.end(), "CMD Output: <after>"), log.end());
    EXPECT_EQ(program.Context().ErrorCount(), 1);
    EXPECT_TRUE(test::ProcessGroupGone(group, std::chrono::seconds(5)));
}

TEST_F(TaskRunnerTest, WhatACommandLeavesRunningDoesNotHoldTheStep) {
    COvInfoAct* task = Add("T");
    Add("Daemon", "CMD", task, "sleep 1000 & echo hi pgid=$(cut -d' ' -f5 /proc/$$/stat)");
    const auto start = std::chrono::steady_clock::now();
    DoAct(program.Context(), "T");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    const auto log = LogMessages();
    const pid_t group = GroupPrinted(log, "pgid=");
    ASSERT_GT(group, 0) << program.ReadLog();
    EXPECT_EQ(program.Context().ErrorCount(), 0);
    // What it started is its own business and goes on; the test does not leave it behind.
    EXPECT_EQ(::kill(-group, SIGKILL), 0);
}

TEST_F(TaskRunnerTest, NoTimeOutOrAnUnreadableOneLetsACommandRunToItsEnd) {
    COvInfoAct* task = Add("T");
    Add("Slow", "CMD", task, "sleep 0.5; echo done");
    for (const char* setting : {"0", "soon", "-5"}) {
        program.Context().Registries().FindSetting("CmdTimeout")->Value = setting;
        DoAct(program.Context(), "T");
    }
    const auto log = LogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "CMD Output: <done>"), 3);
    EXPECT_EQ(program.Context().ErrorCount(), 0);
}

TEST_F(TaskRunnerTest, CommandsGetParameterValuesAndAddedStepTypesRunAsTheProgramsOwn) {
    auto prm = std::make_unique<COvInfoPrm>(&program.Context().Registries(), GroupId::Param);
    prm->Name.Value = "Region";
    prm->PrmVal.Value = "North";
    prm->PrmVal.Caption = "Region";
    Report().ReportObject->Props.push_back(&prm->PrmVal);
    Report().Params.push_back(std::move(prm));

    // A step type the program's registries gained (as a plug-in's is added) runs like its own.
    struct Zip : orvik::TaskStep {
        void Run(orvik::Run&, COvInfoAct& step, size_t position) override {
            Saw = step.Name.Value + "@" + std::to_string(position);
        }
        std::string Saw;
    };
    auto zip = std::make_shared<Zip>();
    program.Context().Registries().Types.Steps.Register("ZIP", zip);
    program.Context().Registries().AddComboValue(ListId::TaskTypes, "ZIP", "Zip it", -1);
    COvInfoAct* task = Add("T");
    Add("Echo", "CMD", task, "echo `Region");
    Add("Pack", "ZIP", task);
    DoAct(program.Context(), "T");
    const auto log = LogMessages();
    EXPECT_NE(std::find(log.begin(), log.end(), "CMD Output: <North>"), log.end());
    EXPECT_EQ(zip->Saw, "Pack@2");
}

TEST_F(TaskRunnerTest, AStepWhosePlugInIsNotThereIsReportedNotSkippedSilently) {
    program.Context().Registries().LoadedPlugInCount = 1;
    ASSERT_NE(program.Context().Registries().AddComboValue(ListId::TaskTypes, "ZIP", "Zip it", 0),
              nullptr);
    COvInfoAct* task = Add("T");
    Add("Pack", "ZIP", task);
    DoAct(program.Context(), "T");
    EXPECT_EQ(program.Context().ErrorCount(), 1);
    EXPECT_NE(program.ReadLog().find("Step Pack has the type 'ZIP', which neither this program nor "
                                     "a plug-in knows: it was not run"),
              std::string::npos);
}

}  // namespace
}  // namespace orvik
