#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include "model/Registries.h"
#include "model/Report.h"

namespace orvik {
namespace {

std::vector<std::string> Names(const std::vector<COvInfoProp*>& props) {
    std::vector<std::string> names;
    for (const COvInfoProp* p : props) names.push_back(p->Name);
    return names;
}

bool IsLive(CRegistries& r, const COvInfoProp* p) {
    return std::find(r.LiveProperties.begin(), r.LiveProperties.end(), p) != r.LiveProperties.end();
}

TEST(ReportObjects, SheetWithGridDefaults) {
    test::TestProgram program;
    COvInfoSheet sheet(&program.Context().Registries(), GroupId::List);
    EXPECT_EQ(sheet.TypeTag, ObjectKind::Sheet);
    EXPECT_EQ(Names(sheet.Props), (std::vector<std::string>{"Name", "cDS", "tpVW", "bVis"}));
    EXPECT_EQ(sheet.tpVW.DefaultValue, "GRID");
    EXPECT_EQ(sheet.bVis.DefaultValue, "1");
    EXPECT_EQ(sheet.bVis.Flags, 0x15u);
    sheet.tpVW.Value = sheet.tpVW.DefaultValue;
    program.Context().Registries().PrepareNewCombo(sheet.tpVW, sheet.Props, true);
    EXPECT_EQ(Names(sheet.Props),
              (std::vector<std::string>{"Name", "cDS", "tpVW", "bVis", "Title", "bTB", "hF", "hBC",
                                        "bGCH", "gF", "gBC", "bGCG"}));
    EXPECT_EQ(sheet.Get("hBC"), "192,192,192");
    EXPECT_EQ(sheet.Get("gF"), "Arial,100");
    EXPECT_EQ(sheet.GetPropByName("name"), nullptr);
    EXPECT_EQ(sheet.GetPropByName("Name"), &sheet.Name);
}

TEST(ReportObjects, ParameterHasTenPropertiesAndItsOwnLayoutGroup) {
    test::TestProgram program;
    CRegistries& r = program.Context().Registries();
    const size_t groupsBefore = r.PropertyGroups.size();
    COvInfoPrm first(&program.Context().Registries(), GroupId::Param),
        second(&program.Context().Registries(), GroupId::Param);
    EXPECT_EQ(Names(first.Props), (std::vector<std::string>{"Name", "Type", "PrmVal", "Tit", "bVis",
                                                            "pTB", "pGC", "pBC1", "pBC2", "pF"}));
    EXPECT_EQ(r.PropertyGroups.size(), groupsBefore + 2);
    EXPECT_EQ(r.PropertyGroups[first.LayoutGroup]->Caption, "Param Layout");
    EXPECT_NE(first.LayoutGroup, second.LayoutGroup);
    EXPECT_EQ(first.GetPropByName("pF")->Group, first.LayoutGroup);
    EXPECT_EQ(first.GetPropByName("pF")->Owner, &first);
    EXPECT_EQ(first.GetPropByName("pBC1")->DefaultValue, "128,128,128");
    EXPECT_EQ(first.Type.Caption, "Type");
    EXPECT_EQ(first.Tit.Caption, "Title");
    EXPECT_EQ(first.Type.DefaultValue, "str");
    // Parameters' captions are fetched once, so they stay off the live list.
    EXPECT_FALSE(IsLive(r, &first.Name));
}

TEST(ReportObjects, ObjectsLeaveTheLiveListWhenDestroyed) {
    test::TestProgram program;
    CRegistries& r = program.Context().Registries();
    const size_t before = r.LiveProperties.size();
    {
        COvInfoDS ds(&program.Context().Registries(), GroupId::DataSource);
        COvInfoGCols columns(&program.Context().Registries(), GroupId::GridColumns);
        COvInfoAct task(&program.Context().Registries(), GroupId::Task);
        EXPECT_TRUE(IsLive(r, &ds.Qry));
        EXPECT_TRUE(IsLive(r, &columns.ColT));
        EXPECT_FALSE(IsLive(r, &task.AType));
        EXPECT_EQ(r.LiveProperties.size(), before + 6);
        EXPECT_EQ(ds.DSN.Kind, PropKind::DialogText);
        EXPECT_EQ(columns.ColT.DefaultValue, "DEF");
        EXPECT_EQ(columns.NameValue(), "");
    }
    EXPECT_EQ(r.LiveProperties.size(), before);
}

TEST(ReportObjects, GetDSAndShowProp) {
    test::TestProgram program;
    CReport& report = program.Context().Report();
    report.StartNew("/reports/a.ovk");
    report.DataSources.push_back(
        std::make_unique<COvInfoDS>(&program.Context().Registries(), GroupId::DataSource));
    report.DataSources.back()->Name.Value = "Sales";
    COvInfoSheet sheet(&program.Context().Registries(), GroupId::List);
    sheet.cDS.Value = "sales";
    EXPECT_EQ(sheet.GetDS(report.DataSources), nullptr);
    sheet.cDS.Value = "Sales";
    EXPECT_EQ(sheet.GetDS(report.DataSources), report.DataSources[0].get());

    sheet.ShowProp(program.Context().Front());
    report.ReportObject->ShowProp(program.Context().Front());
    report.DataSources[0]->ShowProp(program.Context().Front(), report);
    const auto& shown = program.Front().Shown;
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].first, ObjectKind::Sheet);
    EXPECT_EQ(shown[1].first, ObjectKind::Report);
    EXPECT_EQ(shown[2].first, ObjectKind::DataSource);
    EXPECT_EQ(report.CurrentDataSource, report.DataSources[0].get());
}

TEST(Report, NewReportKeepsOnlyItsOwnProperties) {
    test::TestProgram program;
    CRegistries& r = program.Context().Registries();
    CReport& report = program.Context().Report();
    const size_t templates = r.AppendedProperties.size();
    report.StartNew("/reports/first.ovk");
    EXPECT_EQ(Names(report.ReportObject->Props),
              (std::vector<std::string>{"HTMLayout", "HTMLPath", "PlainParams", "DateArithmetic"}));
    EXPECT_EQ(report.ReportObject->Props[0]->Flags, 0x24u);
    EXPECT_EQ(report.ReportObject->Props[0]->Group, GroupId::Report);

    report.Params.push_back(
        std::make_unique<COvInfoPrm>(&program.Context().Registries(), GroupId::Param));
    report.Sheets.push_back(
        std::make_unique<COvInfoSheet>(&program.Context().Registries(), GroupId::List));
    COvInfoSheet& sheet = *report.Sheets.back();
    sheet.tpVW.Value = "GRID";
    program.Context().Registries().PrepareNewCombo(sheet.tpVW, sheet.Props, true);
    r.AddComboValue(ListId::DataSources, "Sales", "", -1);
    report.DataSources.push_back(
        std::make_unique<COvInfoDS>(&program.Context().Registries(), GroupId::DataSource));
    report.DataSources.back()->Name.Value = "Sales";
    EXPECT_GT(r.AppendedProperties.size(), templates + 8);

    report.StartNew();
    EXPECT_EQ(report.CurrentDocPath, "/reports/first.ovk");  // the last path given is kept
    EXPECT_TRUE(report.Sheets.empty() && report.Params.empty() && report.DataSources.empty());
    EXPECT_EQ(r.FindComboValue(ListId::DataSources, "Sales"), nullptr);
    EXPECT_EQ(r.AppendedProperties.size(),
              templates + 4);  // the new HTMLayout, HTMLPath, PlainParams, DateArithmetic
    EXPECT_EQ(r.LiveProperties.size(), static_cast<size_t>(r.SettingsCount));
}

TEST(Report, TopLevelTasksAreFoundByExactName) {
    test::TestProgram program;
    CReport& report = program.Context().Report();
    report.StartNew();
    const auto addTask = [&](const char* name, COvInfoAct* parent) {
        report.Tasks.push_back(
            std::make_unique<COvInfoAct>(&program.Context().Registries(), GroupId::Task));
        report.Tasks.back()->Name.Value = name;
        report.Tasks.back()->Parent = parent;
        return report.Tasks.back().get();
    };
    COvInfoAct* daily = addTask("Daily", nullptr);
    addTask("Weekly", daily);  // a step named like a task is not a task
    addTask("Weekly", nullptr);
    COvInfoAct* again = addTask("Daily", nullptr);
    EXPECT_EQ(report.FindTopLevelTasks("Daily"), (std::vector<COvInfoAct*>{daily, again}));
    EXPECT_EQ(report.FindTopLevelTasks("daily").size(), 0u);
    EXPECT_EQ(report.FindTopLevelTasks("Weekly").size(), 1u);
    EXPECT_EQ(report.FindTopLevelTasks("").size(), 3u);
}

}  // namespace
}  // namespace orvik
