// Copy and paste of report objects: every stored value comes along, including those a list value
// brings in, the copy gets a name of its own, and a cut object can still be pasted.
#include "design/ObjectClipboard.h"

#include "design/DesignerFixture.h"
#include "model/OvInfoAct.h"

namespace orvik::design {
namespace {

using ObjectClipboardTest = test::DesignerFixture;

TEST_F(ObjectClipboardTest, ACopyHasEveryValueAndANameOfItsOwn) {
    COvInfoDS& sales = AddSource("Sales", "shop.db", "select region, amount from sales");
    COvInfoSheet& sheet = AddSheet("Revenue", "Sales");
    Edit(ObjectKind::Sheet, sheet, "Title", "Revenue by region");
    COvInfoPrm& region = test::AddParameter(Report(), "Region", "");
    Edit(ObjectKind::Parameter, region, "Type", "pcmb");
    Edit(ObjectKind::Parameter, region, "cmbels", "North;South");
    Edit(ObjectKind::Parameter, region, "PrmVal", "South");

    const auto source = SnapshotOf(Ctx(), sales);
    ASSERT_TRUE(source.has_value());
    auto* copy = static_cast<COvInfoDS*>(PasteSnapshot(Ctx(), *source));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->Name.Value, "Sales");
    EXPECT_EQ(copy->DSN.Value, sales.DSN.Value);
    EXPECT_EQ(copy->Qry.Value, sales.Qry.Value);
    EXPECT_EQ(copy->tpDS.Value, "SQL");
    EXPECT_EQ(copy->GetDSRowCount(Ctx()), 3);  // it ran, as an edited source does

    auto* sheetCopy = static_cast<COvInfoSheet*>(PasteSnapshot(Ctx(), *SnapshotOf(Ctx(), sheet)));
    ASSERT_NE(sheetCopy, nullptr);
    EXPECT_EQ(sheetCopy->Get("Title"), "Revenue by region");
    EXPECT_EQ(sheetCopy->cDS.Value, "Sales");
    EXPECT_NE(sheetCopy->Name.Value, "Revenue");

    auto* prmCopy = static_cast<COvInfoPrm*>(PasteSnapshot(Ctx(), *SnapshotOf(Ctx(), region)));
    ASSERT_NE(prmCopy, nullptr);
    EXPECT_EQ(prmCopy->Type.Value, "pcmb");
    ASSERT_NE(prmCopy->GetPropByName("cmbels"), nullptr);  // brought in by the type
    EXPECT_EQ(prmCopy->Get("cmbels"), "North;South");
    EXPECT_NE(prmCopy->Name.Value, "Region");

    // Neither the report object nor a settings entry is copied.
    EXPECT_FALSE(SnapshotOf(Ctx(), *Report().ReportObject).has_value());
}

TEST_F(ObjectClipboardTest, ATaskComesWithItsStepsAndACutOneCanStillBePasted) {
    COvInfoObject* task = NewItem(Ctx(), ExplorerRoot::Tasks);
    ASSERT_NE(task, nullptr);
    auto& daily = static_cast<COvInfoAct&>(*task);
    COvInfoAct* first = NewChildItem(Ctx(), daily);
    COvInfoAct* second = NewChildItem(Ctx(), daily);
    ASSERT_TRUE(first && second);
    Edit(ObjectKind::Task, *first, "AType", "CMD");
    Edit(ObjectKind::Task, *first, "cmd", "echo one");
    Edit(ObjectKind::Task, *second, "AType", "HTML");

    const auto snapshot = SnapshotOf(Ctx(), daily);
    ASSERT_TRUE(snapshot.has_value());
    EXPECT_EQ(snapshot->Steps.size(), 2u);
    EXPECT_FALSE(SnapshotOf(Ctx(), *first).has_value());  // a step goes with its task
    Front().Answer = MessageBoxResult::Yes;
    ASSERT_TRUE(DeleteItem(Ctx(), daily));

    auto* pasted = static_cast<COvInfoAct*>(PasteSnapshot(Ctx(), *snapshot));
    ASSERT_NE(pasted, nullptr);
    std::vector<const COvInfoAct*> steps;
    for (const auto& each : Report().Tasks)
        if (each->Parent == pasted) steps.push_back(each.get());
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0]->AType.Value, "CMD");
    EXPECT_EQ(steps[0]->Get("cmd"), "echo one");
    EXPECT_EQ(steps[1]->AType.Value, "HTML");
}

}  // namespace
}  // namespace orvik::design
