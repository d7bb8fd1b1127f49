#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>

#include "TestSupport.h"
#include "data/DataTestSupport.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "params/ParameterAssignment.h"
#include "params/ParameterValueList.h"

namespace orvik {
namespace {

TEST(ParameterValueList, ElementsAndMultiValues) {
    EXPECT_EQ(SplitComboElements("a;b;c"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(SplitComboElements("a;;c"), (std::vector<std::string>{"a", "", "c"}));
    EXPECT_EQ(SplitComboElements("a;b;"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitComboElements(""), (std::vector<std::string>{}));
    EXPECT_EQ(EncodeMultiValue({"a", "b", "c"}), "[a],[b],[c]");
    EXPECT_TRUE(IsEntryTicked("[x],[y]", "x"));
    EXPECT_TRUE(IsEntryTicked("[x],[y]", "y"));
    EXPECT_FALSE(IsEntryTicked("[x],[y]", "z"));
    EXPECT_EQ(DistinctValuesQuery("[col]", "[tab]", ""), "Select distinct [col] From [tab] ");
    EXPECT_EQ(DistinctValuesQuery("[c]", "[t]", " a > 1"),
              "Select distinct [c] From [t] Where a > 1");
    // A condition read back from a file lost its blank; the query must still be valid.
    EXPECT_EQ(DistinctValuesQuery("[c]", "[t]", "a > 1"),
              "Select distinct [c] From [t] Where a > 1");
}

class ParameterListsTest : public ::testing::Test {
  protected:
    ParameterListsTest() {
        Report().StartNew();
        sqlite3* db = nullptr;
        sqlite3_open((program.Home().Path() + "lists.db").c_str(), &db);
        std::string wide = "create table wide (";
        for (int i = 1; i <= 21; ++i) wide += (i > 1 ? ", c" : "c") + std::to_string(i) + " int";
        std::string narrow = "create table narrow (";
        for (int i = 1; i <= 20; ++i) narrow += (i > 1 ? ", n" : "n") + std::to_string(i) + " int";
        const std::string sql =
            wide + "); " + narrow +
            "); create table sales (region text, amount real);"
            "insert into sales values ('North', 5), ('South', -1), ('North', 7),"
            "('East', 3);";
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
        COvInfoDS* ds = Report().NewDataSource("Sales");
        ds->DSN.Value = "Provider=SQLite;Data Source=" + program.Home().Path() + "lists.db";
    }

    CReport& Report() { return program.Context().Report(); }

    COvInfoPrm& AddParam(const char* type) {
        auto prm = std::make_unique<COvInfoPrm>(&program.Context().Registries(), GroupId::Param);
        prm->Type.Value = type;
        program.Context().Registries().PrepareNewCombo(prm->Type, prm->Props, true);
        Report().Params.push_back(std::move(prm));
        return *Report().Params.back();
    }

    std::vector<std::string> Entries(unsigned list) {
        std::vector<std::string> names;
        for (const auto& e : program.Context().Registries().ComboValues) {
            if (static_cast<unsigned>(e->Id) == list) names.push_back(e->Name);
        }
        return names;
    }

    test::TestProgram program;
};

TEST_F(ParameterListsTest, FixedListsAreDropDownsOrCheckLists) {
    COvInfoPrm& single = AddParam("pcmb");
    single.GetPropByName("cmbels")->Value = "North;South;";
    WraperParam(program.Context(), single, false);
    EXPECT_EQ(single.PrmVal.Kind, PropKind::List);
    EXPECT_EQ(Entries(single.PrmVal.ComboId), (std::vector<std::string>{"North", "South"}));

    COvInfoPrm& multi = AddParam("pcmbm");
    multi.GetPropByName("cmbels")->Value = "a;b";
    WraperParam(program.Context(), multi, false);
    EXPECT_EQ(multi.PrmVal.Kind, PropKind::Custom);
    EXPECT_NE(multi.PrmVal.ComboId, single.PrmVal.ComboId);  // every call makes a new list
}

TEST_F(ParameterListsTest, DataSourceListsWalkTablesColumnsAndValues) {
    COvInfoPrm& prm = AddParam("DScmb");
    prm.GetPropByName("cDS")->Value = "Sales";
    WraperParam(program.Context(), prm, false);
    const COvInfoProp* tables = prm.GetPropByName("cDST");
    EXPECT_EQ(Entries(tables->ComboId), (std::vector<std::string>{"narrow", "sales", "wide"}));

    prm.GetPropByName("cDST")->Value = "wide";
    WraperParam(program.Context(), prm, false);
    EXPECT_EQ(prm.GetPropByName("cDSC")->Kind, PropKind::Custom);  // 21 columns: check list
    EXPECT_EQ(Entries(prm.GetPropByName("cDSC")->ComboId).size(), 21u);

    prm.GetPropByName("cDST")->Value = "narrow";
    prm.GetPropByName("cDSC")->Value = "";
    WraperParam(program.Context(), prm, false);
    EXPECT_EQ(prm.GetPropByName("cDSC")->Kind, PropKind::List);  // 20 columns: plain list

    prm.GetPropByName("cDST")->Value = "sales";
    prm.GetPropByName("cDSC")->Value = "region";
    prm.GetPropByName("cDSW")->Value = "amount > 0";  // as read back from a file
    WraperParam(program.Context(), prm, false);
    EXPECT_EQ(prm.PrmVal.Kind, PropKind::Custom);
    auto values = Entries(prm.PrmVal.ComboId);
    std::sort(values.begin(), values.end());
    EXPECT_EQ(values, (std::vector<std::string>{"East", "North"}));
    EXPECT_TRUE(program.Front().Messages.empty());
}

TEST_F(ParameterListsTest, ProblemsAreReportedAndListsSoFarStay) {
    COvInfoPrm& prm = AddParam("DScmb");
    prm.Name.Value = "Region";
    prm.GetPropByName("cDS")->Value = "Nowhere";
    WraperParam(program.Context(), prm, false);
    ASSERT_EQ(program.Front().Messages.size(), 1u);
    // The fixed text, then which parameter, which source and why, in the user's words.
    EXPECT_EQ(program.Front().Messages[0].Text,
              "WraperParam::DS is not open! (parameter 'Region' could not read its list from data "
              "source 'Nowhere': the report has no such data source)");

    prm.GetPropByName("cDS")->Value = "Sales";
    prm.GetPropByName("cDST")->Value = "sales";
    prm.GetPropByName("cDSC")->Value = "no_such_column";
    WraperParam(program.Context(), prm, false);
    ASSERT_EQ(program.Front().Messages.size(), 2u);
    EXPECT_NE(program.Front().Messages[1].Text.find("COM Error (in file=ovinfoprm"),
              std::string::npos);
}

// The values query must be one the source's own database accepts, whatever it quotes names with.
using DataSourceValueList = test::ProviderTest;

TEST_P(DataSourceValueList, ValuesComeFromTheSourcesOwnDatabase) {
    // Two blanks in the name: names are offered as the database spells them.
    Exec("create table \"Orders  2024\" (\"Region\" varchar(20), amount int)");
    Exec("insert into \"Orders  2024\" values ('North', 5), ('South', -1), ('North', 7)");
    CReport& report = program_->Context().Report();
    report.StartNew();
    report.NewDataSource("Orders")->DSN.Value = connection_;
    auto prm = std::make_unique<COvInfoPrm>(&Ctx().Registries(), GroupId::Param);
    prm->Type.Value = "DScmb";
    program_->Context().Registries().PrepareNewCombo(prm->Type, prm->Props, true);
    prm->GetPropByName("cDS")->Value = "Orders";
    const auto entries = [&](unsigned list) {
        std::vector<std::string> names;
        for (const auto& entry : program_->Context().Registries().ComboValues) {
            if (static_cast<unsigned>(entry->Id) == list) names.push_back(entry->Name);
        }
        return names;
    };
    // Tables first, then the table's columns, then the values, each step picking the first offer.
    WraperParam(Ctx(), *prm, false);
    const auto tables = entries(prm->GetPropByName("cDST")->ComboId);
    ASSERT_NE(std::find(tables.begin(), tables.end(), "Orders  2024"), tables.end());
    prm->GetPropByName("cDST")->Value = "Orders  2024";
    WraperParam(Ctx(), *prm, false);
    EXPECT_EQ(entries(prm->GetPropByName("cDSC")->ComboId),
              (std::vector<std::string>{"Region", "amount"}));
    prm->GetPropByName("cDSC")->Value = "Region";
    prm->GetPropByName("cDSW")->Value = "amount > 0";
    WraperParam(Ctx(), *prm, false);
    EXPECT_EQ(LastMessage(), "");
    EXPECT_EQ(entries(prm->PrmVal.ComboId), std::vector<std::string>{"North"});
}

INSTANTIATE_TEST_SUITE_P(Providers, DataSourceValueList, ::testing::Values("SQLite", "PostgreSQL"),
                         test::ProviderName);

TEST_F(ParameterListsTest, ValuesFromOutsideMustBeOnTheList) {
    COvInfoPrm& single = AddParam("pcmb");
    single.Name.Value = "Region";
    single.GetPropByName("cmbels")->Value = "North;South";
    COvInfoPrm& multi = AddParam("pcmbm");
    multi.Name.Value = "Regions";
    multi.GetPropByName("cmbels")->Value = "a;b'c";
    COvInfoPrm& fromData = AddParam("DScmb");
    fromData.Name.Value = "Sold";
    fromData.GetPropByName("cDS")->Value = "Sales";
    fromData.GetPropByName("cDST")->Value = "sales";
    fromData.GetPropByName("cDSC")->Value = "region";
    AddParam("str").Name.Value = "Free";

    AppliedParameters applied = ApplyParameterAssignments(
        program.Context(),
        "Region=South;Regions=[b'c],[a];Sold=[East];Free=~x'; DROP TABLE t; --~");
    EXPECT_TRUE(applied.Refused.empty() && applied.Unknown.empty());
    EXPECT_EQ(single.PrmVal.Value, "South");
    EXPECT_EQ(multi.PrmVal.Value, "[b'c],[a]");
    EXPECT_EQ(fromData.PrmVal.Value, "[East]");
    // One entry given to a multi-choice list as it stands is that entry chosen.
    ApplyParameterAssignments(program.Context(), "Sold=North");
    EXPECT_EQ(fromData.PrmVal.Value, "[North]");

    applied = ApplyParameterAssignments(
        program.Context(), "Region=~x'; DELETE FROM sales; --~;Regions=[a],[z];Sold=[West]");
    ASSERT_EQ(applied.Refused.size(), 3u);
    EXPECT_NE(applied.Refused[0].find("parameter 'Region' is refused"), std::string::npos)
        << applied.Refused[0];
    EXPECT_NE(applied.Refused[1].find("[z] is not one"), std::string::npos) << applied.Refused[1];
    EXPECT_NE(applied.Refused[2].find("[West] is not one"), std::string::npos);
    // A refused value leaves the one the parameter had.
    EXPECT_EQ(single.PrmVal.Value, "South");
    EXPECT_EQ(multi.PrmVal.Value, "[b'c],[a]");
    EXPECT_EQ(fromData.PrmVal.Value, "[North]");
}

}  // namespace
}  // namespace orvik
