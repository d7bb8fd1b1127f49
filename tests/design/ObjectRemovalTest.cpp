#include "design/ObjectRemoval.h"

#include "design/DesignerFixture.h"
#include "model/OvInfoAct.h"

namespace orvik::design {
namespace {

class ObjectRemovalTest : public test::DesignerFixture {
  protected:
    COvInfoAct& AddTask(const std::string& name, COvInfoAct* parent) {
        Report().Tasks.push_back(std::make_unique<COvInfoAct>(&Ctx().Registries(), GroupId::Task));
        COvInfoAct& task = *Report().Tasks.back();
        task.Name.Value = name;
        task.Parent = parent;
        return task;
    }

    static void ReferTo(COvInfoProp& reference, COvInfoProp& target) {
        reference.Kind = PropKind::Reference;
        reference.SelectedCombo = &target;
        reference.Value = target.Value;
        target.RefBy = &reference;
    }

    bool HasTask(const std::string& name) {
        for (const auto& task : Report().Tasks)
            if (task->Name.Value == name) return true;
        return false;
    }
};

TEST_F(ObjectRemovalTest, ASourceGoesAndItsSheetsStayEmptyAndUnnamed) {
    COvInfoDS& sales = AddSource("Sales", "shop.db", "select region, amount from sales");
    AddSource("Stock", "stock.db", "select item from stock");
    COvInfoSheet& onSales = AddSheet("A", "Sales");
    COvInfoSheet& onStock = AddSheet("B", "Stock");
    COvInfoPrm& region = test::AddParameter(Report(), "Region", "");
    Edit(ObjectKind::Parameter, region, "Type", "DScmb");
    Edit(ObjectKind::Parameter, region, "cDS", "Sales");
    Edit(ObjectKind::Parameter, region, "cDST", "sales");
    Edit(ObjectKind::Parameter, region, "cDSC", "region");
    ASSERT_GT(GridRows(onSales), 1);

    ASSERT_TRUE(RemoveObject(Ctx(), sales));
    EXPECT_EQ(Report().DataSources.size(), 1u);
    // The layout stays; the name does not, so a later source called "Sales" does not revive it.
    EXPECT_TRUE(onSales.cDS.Value.empty());
    EXPECT_LE(GridRows(onSales), 1);
    EXPECT_EQ(onStock.cDS.Value, "Stock");
    EXPECT_GT(GridRows(onStock), 1);
    for (const char* key : {"cDS", "cDST", "cDSC"}) EXPECT_TRUE(region.Get(key).empty()) << key;
    EXPECT_EQ(Registries().FindComboValue(ListId::DataSources, "Sales"), nullptr);
    EXPECT_NE(Registries().FindComboValue(ListId::DataSources, "Stock"), nullptr);
}

TEST_F(ObjectRemovalTest, ASourceSharingItsNameWithAnotherLeavesTheNameInUse) {
    COvInfoDS& first = AddSource("Sales", "shop.db", "select region from sales");
    // The designer refuses a second name; a report file written elsewhere may still carry one.
    AddSource("Sales2", "shop.db", "select amount from sales").Name.Value = "Sales";
    COvInfoSheet& sheet = AddSheet("A", "Sales");
    ASSERT_TRUE(RemoveObject(Ctx(), first));
    EXPECT_EQ(sheet.cDS.Value, "Sales");
    EXPECT_NE(Registries().FindComboValue(ListId::DataSources, "Sales"), nullptr);
}

TEST_F(ObjectRemovalTest, ATaskTakesItsStepsAtEveryDepthAndNothingElse) {
    COvInfoAct& daily = AddTask("Daily", nullptr);
    COvInfoAct& group = AddTask("Group", &daily);
    AddTask("Inner", &group);
    // A file may hang a step on a step of a step.
    AddTask("Deepest", Report().Tasks.back().get());
    COvInfoAct& weekly = AddTask("Weekly", nullptr);
    AddTask("Mail", &weekly);

    ASSERT_TRUE(RemoveObject(Ctx(), daily));
    for (const char* gone : {"Daily", "Group", "Inner", "Deepest"}) EXPECT_FALSE(HasTask(gone));
    EXPECT_TRUE(HasTask("Weekly"));
    EXPECT_TRUE(HasTask("Mail"));
    EXPECT_EQ(Report().Tasks.size(), 2u);
}

TEST_F(ObjectRemovalTest, AReferenceToWhatGoesKeepsTheValueItShowed) {
    COvInfoDS& sales = AddSource("Sales", "shop.db", "select region from sales");
    COvInfoPrm& shown = test::AddParameter(Report(), "Query", "");
    ReferTo(shown.PrmVal, sales.Qry);
    COvInfoPrm& other = test::AddParameter(Report(), "Other", "kept");

    ASSERT_TRUE(RemoveObject(Ctx(), sales));
    EXPECT_EQ(shown.PrmVal.Kind, PropKind::Text);
    EXPECT_EQ(shown.PrmVal.SelectedCombo, nullptr);
    EXPECT_EQ(shown.PrmVal.Value, "select region from sales");
    EXPECT_EQ(other.PrmVal.Value, "kept");

    // A parameter that goes takes its value off the report object, and what showed it is freed.
    COvInfoDS& stock = AddSource("Stock", "stock.db", "select item from stock");
    COvInfoPrm& source = test::AddParameter(Report(), "Item", "bolt");
    ReferTo(stock.Qry, source.PrmVal);
    ASSERT_TRUE(RemoveObject(Ctx(), source));
    EXPECT_EQ(stock.Qry.Kind, PropKind::Text);
    EXPECT_EQ(stock.Qry.Value, "bolt");
    const auto& reportProps = Report().ReportObject->Props;
    EXPECT_EQ(std::find(reportProps.begin(), reportProps.end(), &source.PrmVal), reportProps.end());
}

TEST_F(ObjectRemovalTest, OnlyTheReportsOwnObjectsCanBeRemoved) {
    EXPECT_FALSE(CanRemove(Report(), *Report().ReportObject));
    EXPECT_FALSE(RemoveObject(Ctx(), *Report().ReportObject));
    COvInfoDS stray(&Ctx().Registries(), GroupId::DataSource);
    EXPECT_FALSE(CanRemove(Report(), stray));
    EXPECT_FALSE(RemoveObject(Ctx(), stray));
    COvInfoSheet& sheet = AddSheet("A", "");
    EXPECT_TRUE(CanRemove(Report(), sheet));
    ASSERT_TRUE(RemoveObject(Ctx(), sheet));
    EXPECT_TRUE(Report().Sheets.empty());
}

}  // namespace
}  // namespace orvik::design
