#include "design/ExplorerModel.h"

#include <filesystem>

#include "design/DesignerFixture.h"
#include "model/PropertyReference.h"
#include "persist/ReportFile.h"
#include "tasks/HtmlExport.h"

namespace orvik::design {
namespace {

using ExplorerTest = test::DesignerFixture;

COvInfoAct& AddTask(CReport& report, const std::string& name, COvInfoAct* parent = nullptr) {
    COvInfoAct& task = *report.Tasks.emplace_back(std::make_unique<COvInfoAct>(GroupId::Task));
    task.Name.Value = name;
    task.Parent = parent;
    return task;
}

std::vector<std::string> Captions(const std::vector<ExplorerNode>& nodes) {
    std::vector<std::string> captions;
    for (const ExplorerNode& node : nodes) captions.push_back(node.Caption);
    return captions;
}

TEST_F(ExplorerTest, TreeAndMenusFollowTheReport) {
    AddSource("Sales", "shop.db", "select region, amount from sales");
    AddSheet("Overview", "Sales");
    test::AddParameter(Report(), "Region", "North");
    COvInfoAct& daily = AddTask(Report(), "Daily");
    AddTask(Report(), "Mail", &daily);
    COvInfoAct& weekly = AddTask(Report(), "Weekly");
    AddTask(Report(), "Zip", &daily);
    AddTask(Report(), "Upload", &weekly);

    const std::vector<ExplorerNode> roots = BuildExplorerTree(Report());
    EXPECT_EQ(Captions(roots),
              (std::vector<std::string>{"HTML", "Orvik18 Param's", "Data Sources", "View Sheets",
                                        "Distributions", "Default Propertys"}));
    EXPECT_EQ(Captions(roots[1].Children), std::vector<std::string>{"Region"});
    EXPECT_EQ(Captions(roots[2].Children), std::vector<std::string>{"Sales"});
    EXPECT_EQ(Captions(roots[3].Children[0].Children),
              (std::vector<std::string>{"Col 0_0 <region>", "Col 0_1 <amount>"}));
    const ExplorerNode& tasks = roots[4];
    EXPECT_EQ(Captions(tasks.Children), (std::vector<std::string>{"Daily", "Weekly"}));
    EXPECT_EQ(Captions(tasks.Children[0].Children), (std::vector<std::string>{"Mail", "Zip"}));
    EXPECT_EQ(tasks.Children[1].Children[0].Object->NameValue(), "Upload");

    const ExplorerMenuTexts param = MenuTexts(ExplorerRoot::Parameters, false);
    EXPECT_EQ(param.NewItem, "New Item Orvik18 Param\tINS");
    EXPECT_EQ(param.Delete, "Delete Orvik18 Param\tDEL");
    EXPECT_TRUE(param.NewChildItem.empty() && param.RunTask.empty());
    const ExplorerMenuTexts task = MenuTexts(tasks.Children[0]);
    EXPECT_EQ(task.NewChildItem, "New Child Item Step\tCtrl+INS");
    EXPECT_EQ(task.Delete, "Delete Distribution\tDEL");
    EXPECT_EQ(task.RunTask, "Run Task");
    EXPECT_EQ(MenuTexts(tasks.Children[0].Children[0]).Delete, "Delete Step\tDEL");
    EXPECT_TRUE(MenuTexts(roots[3].Children[0].Children[0]).Delete.empty());  // column set
    EXPECT_EQ(MenuTexts(roots[3]).NewItem, "New Item Sheet\tINS");
    EXPECT_TRUE(MenuTexts(roots[3]).Delete.empty());
    const ExplorerMenuTexts page = MenuTexts(ExplorerRoot::Page, false);
    EXPECT_TRUE(page.NewItem.empty() && page.Delete.empty() && page.RunTask.empty());
}

TEST_F(ExplorerTest, NewObjectsAreNumberedAndTakenNamesRefused) {
    auto* p1 = static_cast<COvInfoPrm*>(NewItem(Report(), ExplorerRoot::Parameters));
    auto* p2 = static_cast<COvInfoPrm*>(NewItem(Report(), ExplorerRoot::Parameters));
    ASSERT_TRUE(p1 && p2);
    EXPECT_EQ(p1->Name.Value, "P1");
    EXPECT_EQ(p2->Name.Value, "P2");
    EXPECT_EQ(Report().ReportObject->GetPropByName("PrmVal"), &p1->PrmVal);
    EXPECT_EQ(Report().ReportObject->Props.back(), &p2->PrmVal);
    EXPECT_EQ(Front().Shown.back(), std::make_pair('W', static_cast<COvInfoObject*>(p2)));
    EXPECT_TRUE(Report().Modified);
    EXPECT_EQ(Front().Count("Modified"), 2);
    EXPECT_EQ(Front().Count("RebuildExplorer"), 2);

    p1->Name.Value = "P3";
    EXPECT_EQ(NewItem(Report(), ExplorerRoot::Parameters), nullptr);
    EXPECT_EQ(Messages().back(), "Not Uniq Param Name = P3");
    EXPECT_EQ(Report().Params.size(), 2u);

    // The first sheet brings the report's first data source with it.
    auto* sheet = static_cast<COvInfoSheet*>(NewItem(Report(), ExplorerRoot::Sheets));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->Name.Value, "Sheet 1");
    EXPECT_EQ(Front().Shown.back().second, sheet);
    sheet->Name.Value = "Sheet 2";
    EXPECT_EQ(NewItem(Report(), ExplorerRoot::Sheets), nullptr);
    EXPECT_EQ(Messages().back(), "Not Uniq Sheet Name  = Sheet 2");

    auto* ds = static_cast<COvInfoDS*>(NewItem(Report(), ExplorerRoot::DataSources));
    ASSERT_NE(ds, nullptr);
    EXPECT_EQ(ds->Name.Value, "Data Source 2");
    EXPECT_EQ(ds->GetPropByName("tpDS")->Value, "SQL");
    Edit('D', *ds, "Name", "Data Source 3");
    EXPECT_EQ(NewItem(Report(), ExplorerRoot::DataSources), nullptr);
    EXPECT_EQ(Messages().back(), "Not Uniq Combo Value = 'Data Source 3'");
    EXPECT_EQ(Report().DataSources.size(), 2u);
    EXPECT_EQ(NewItem(Report(), ExplorerRoot::Settings), nullptr);
}

TEST_F(ExplorerTest, NewTasksGoFirstAndStepsFollowTheirTask) {
    COvInfoAct& daily = AddTask(Report(), "Daily");
    auto* task = static_cast<COvInfoAct*>(NewItem(Report(), ExplorerRoot::Tasks));
    ASSERT_NE(task, nullptr);
    EXPECT_EQ(task->Name.Value, "Distribution 2");
    EXPECT_EQ(Report().Tasks.front().get(), task);
    EXPECT_EQ(task->GetPropByName("AType"), nullptr);

    COvInfoAct* first = NewChildItem(Report(), *task);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Name.Value, "Step 1");
    EXPECT_EQ(first->Parent, task);
    EXPECT_EQ(Report().Tasks.back().get(), first);
    EXPECT_EQ(first->GetPropByName("SendAfterFailure"), nullptr);
    // Asked on a step, the step goes to the step's task.
    COvInfoAct* second = NewChildItem(Report(), *first);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Parent, task);
    EXPECT_EQ(second->Name.Value, "Step 2");
    EXPECT_EQ(NewChildItem(Report(), daily)->Name.Value, "Step 1");  // counted per task
    second->Name.Value = "Step 3";
    EXPECT_EQ(NewChildItem(Report(), *task), nullptr);
    EXPECT_EQ(Messages().back(), "Not Uniq Distrib Name = Step 3");

    // The new task is the first one in the file, and its steps come back under it.
    const std::string path = program.Home().Path() + "tasks.ovk";
    ASSERT_EQ(SaveDocument(Report(), path), 1);
    Report().StartNew();
    ASSERT_EQ(SerializeXML(Report(), path, 0), 1);
    std::vector<std::string> order;
    for (const auto& each : Report().Tasks) order.push_back(each->Name.Value);
    EXPECT_EQ(order,
              (std::vector<std::string>{"Distribution 2", "Daily", "Step 1", "Step 3", "Step 1"}));
    EXPECT_EQ(Report().Tasks[3]->Parent, Report().Tasks[0].get());
    EXPECT_EQ(Report().Tasks[4]->Parent, Report().Tasks[1].get());
}

TEST_F(ExplorerTest, DeletingASourceAsksFirstAndLeavesItsSheetsEmpty) {
    COvInfoDS& sales = AddSource("Sales", "shop.db", "select region, amount from sales");
    AddSource("Stock", "stock.db", "select item, qty from stock");
    COvInfoSheet& overview = AddSheet("Overview", "Sales");
    COvInfoSheet& items = AddSheet("Items", "Stock");
    COvInfoPrm& region = test::AddParameter(Report(), "Region", "");
    region.Type.Value = "DScmb";
    Registries().PrepareNewCombo(region.Type, region.Props, true);
    region.GetPropByName("cDS")->Value = "Sales";
    region.GetPropByName("cDST")->Value = "sales";
    sales.ShowProp();
    ASSERT_EQ(GridRows(overview), 4);

    Front().Answer = MessageBoxResult::No;
    EXPECT_FALSE(DeleteItem(Report(), sales));
    ASSERT_EQ(Front().Messages.size(), 1u);
    EXPECT_EQ(Front().Messages[0].Text, "Are Your Sure to delete item?");
    EXPECT_EQ(Front().Messages[0].Caption, "Delete Item");
    EXPECT_EQ(Front().Messages[0].Buttons, MessageBoxButtons::YesNo);
    EXPECT_EQ(Report().DataSources.size(), 2u);

    Front().Answer = MessageBoxResult::Yes;
    EXPECT_TRUE(DeleteItem(Report(), sales));
    EXPECT_EQ(Report().DataSources.size(), 1u);
    EXPECT_EQ(Report().CurrentDataSource, nullptr);
    EXPECT_EQ(Registries().FindComboValue(ListId::DataSources, "Sales"), nullptr);
    EXPECT_TRUE(overview.cDS.Value.empty());
    EXPECT_EQ(GridRows(overview), 0);
    EXPECT_EQ(GridRows(items), 3);
    EXPECT_TRUE(region.GetPropByName("cDS")->Value.empty());
    EXPECT_TRUE(region.GetPropByName("cDST")->Value.empty());
    EXPECT_EQ(Front().Count("SheetRefreshed:Overview"), 1);
    // The page was built again without the source, from grids that no longer hold its result.
    EXPECT_EQ(Front().Events.back(), "ShowPage");
    EXPECT_TRUE(std::filesystem::exists(PageFilePath()));
    EXPECT_EQ(Front().Shown.back().first, 'R');
}

TEST_F(ExplorerTest, DeletingLeavesNoReferenceBehind) {
    AddSource("Sales", "shop.db", "select region, amount from sales");
    COvInfoSheet& overview = AddSheet("Overview", "Sales");
    COvInfoSheet& other = AddSheet("Other", "Sales");
    // Two reference parameters show the sheets' titles in their place.
    const auto refer = [&](const char* name, COvInfoSheet& sheet) -> COvInfoPrm& {
        COvInfoPrm& prm = test::AddParameter(Report(), name, "");
        prm.Type.Value = "rprop";
        Registries().PrepareNewCombo(prm.Type, prm.Props, true);
        COvInfoProp* title = sheet.GetPropByName("Title");
        title->Value = "Title of " + sheet.Name.Value;
        COvInfoProp* cprop = prm.GetPropByName("cprop");
        cprop->Value = cprop->DefaultValue = FormatPropertyReference(Report(), title);
        prm.WraperParam(false);
        EXPECT_EQ(prm.PrmVal.SelectedCombo, title);
        title->RefBy = &prm.PrmVal;  // as the property bar sets it while showing the title
        return prm;
    };
    COvInfoPrm& first = refer("First", overview);
    COvInfoPrm& second = refer("Second", other);
    Front().Answer = MessageBoxResult::Yes;

    const size_t values = Report().ReportObject->Props.size();
    const size_t appended = Registries().AppendedProperties.size();
    ASSERT_TRUE(DeleteItem(Report(), second));
    EXPECT_EQ(other.GetPropByName("Title")->RefBy, nullptr);
    EXPECT_EQ(Report().ReportObject->Props.size(), values - 1);
    // The layout properties (5) and the reference choice went with it.
    EXPECT_EQ(Registries().AppendedProperties.size(), appended - 6);

    size_t sheetOwned = 0;
    for (const COvInfoProp* prop : overview.Props) sheetOwned += prop->Appended;
    for (const auto& columns : overview.GridColumns)
        for (const COvInfoProp* prop : columns->Props) sheetOwned += prop->Appended;
    ASSERT_TRUE(DeleteItem(Report(), overview));
    EXPECT_EQ(Front().Count("RemoveSheetView:Overview"), 1);
    EXPECT_EQ(Registries().AppendedProperties.size(), appended - 6 - sheetOwned);
    EXPECT_EQ(first.PrmVal.Kind, PropKind::Text);
    EXPECT_EQ(first.PrmVal.SelectedCombo, nullptr);
    EXPECT_EQ(first.PrmVal.Value, "Title of Overview");
    EXPECT_TRUE(first.GetPropByName("cprop")->DefaultValue.empty());
    EXPECT_EQ(Report().Sheets.size(), 1u);

    COvInfoAct& daily = AddTask(Report(), "Daily");
    COvInfoAct& weekly = AddTask(Report(), "Weekly");
    AddTask(Report(), "Mail", &daily);
    AddTask(Report(), "Upload", &weekly);
    AddTask(Report(), "Zip", &daily);
    ASSERT_TRUE(DeleteItem(Report(), daily));
    ASSERT_EQ(Report().Tasks.size(), 2u);
    EXPECT_EQ(Report().Tasks[1]->Parent, Report().Tasks[0].get());
    EXPECT_FALSE(DeleteItem(Report(), *Report().ReportObject));
}

TEST_F(ExplorerTest, RunTaskRunsTheFirstTaskOfThatName) {
    const std::string out = program.Home().Path() + "ran.txt";
    for (const char* word : {"first", "second"}) {
        COvInfoAct& task = AddTask(Report(), "Daily");
        COvInfoAct& step = AddTask(Report(), "Echo", &task);
        step.AType.Value = "CMD";
        Registries().PrepareNewCombo(step.AType, step.Props, true);
        step.GetPropByName("cmd")->Value = std::string("echo ") + word + " >> '" + out + "'";
    }
    EXPECT_TRUE(RunTaskNamed(Report(), "Daily"));
    EXPECT_EQ(test::ReadFileBytes(out), "first\n");
    EXPECT_FALSE(RunTaskNamed(Report(), "Echo"));  // a step is no task
    EXPECT_FALSE(RunTaskNamed(Report(), ""));
}

}  // namespace
}  // namespace orvik::design
