#include <gtest/gtest.h>

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
        auto task = std::make_unique<COvInfoAct>(GroupId::Task);
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

    EXPECT_EQ(DoAct(Report(), "Daily"), 1);
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
    EXPECT_EQ(DoAct(Report(), "a"), 0);
    EXPECT_EQ(DoAct(Report(), "A"), 2);
    EXPECT_EQ(DoActs(Report()), 3);
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
    DoAct(Report(), "T");
    const auto log = LogMessages();
    EXPECT_NE(std::find(log.begin(), log.end(), "CMD Output: <oops>"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "CMD failed with exit status 3"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "CMD failed with exit status 127"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "CMD Output: <fine>"), log.end());
    EXPECT_EQ(program.Context().ErrorCount(), 2);
}

TEST_F(TaskRunnerTest, CommandsGetParameterValuesAndPlugInTypesGoToThePlugIn) {
    auto prm = std::make_unique<COvInfoPrm>(GroupId::Param);
    prm->Name.Value = "Region";
    prm->PrmVal.Value = "North";
    prm->PrmVal.Caption = "Region";
    Report().ReportObject->Props.push_back(&prm->PrmVal);
    Report().Params.push_back(std::move(prm));

    program.Context().Registries().LoadedPlugInCount = 1;
    ASSERT_NE(AddExportType("ZIP", "Zip it"), nullptr);
    std::string pluginSaw;
    program.Context().Tasks().PlugInTask = [&](int index, const std::string& type, COvInfoAct* s) {
        pluginSaw = std::to_string(index) + ":" + type + ":" + s->Name.Value;
    };
    COvInfoAct* task = Add("T");
    Add("Echo", "CMD", task, "echo `Region");
    Add("Pack", "ZIP", task);
    DoAct(Report(), "T");
    const auto log = LogMessages();
    EXPECT_NE(std::find(log.begin(), log.end(), "CMD Output: <North>"), log.end());
    EXPECT_EQ(pluginSaw, "0:ZIP:Pack");
}

TEST_F(TaskRunnerTest, AStepWhosePlugInIsNotThereIsReportedNotSkippedSilently) {
    program.Context().Registries().LoadedPlugInCount = 1;
    ASSERT_NE(AddExportType("ZIP", "Zip it"), nullptr);
    COvInfoAct* task = Add("T");
    Add("Pack", "ZIP", task);
    DoAct(Report(), "T");
    EXPECT_EQ(program.Context().ErrorCount(), 1);
    EXPECT_NE(program.ReadLog().find("step Pack was not run"), std::string::npos);
}

}  // namespace
}  // namespace orvik
