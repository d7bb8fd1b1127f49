#include "design/ExplorerModel.h"

#include "design/DesignerFixture.h"
#include "model/PropertyReference.h"
#include "params/ParameterValueList.h"

namespace orvik::design {
namespace {

using ExplorerTest = test::DesignerFixture;

COvInfoAct& AddTask(CReport& report, const std::string& name, COvInfoAct* parent = nullptr) {
    COvInfoAct& task = *report.Tasks.emplace_back(
        std::make_unique<COvInfoAct>(&report.Registries(), GroupId::Task));
    task.Name.Value = name;
    task.Parent = parent;
    return task;
}

std::vector<std::string> Captions(const std::vector<ExplorerNode>& nodes) {
    std::vector<std::string> captions;
    for (const ExplorerNode& node : nodes) captions.push_back(node.Caption);
    return captions;
}

std::vector<std::string> TaskNames(const CReport& report) {
    std::vector<std::string> names;
    for (const auto& task : report.Tasks) names.push_back(task->Name.Value);
    return names;
}

TEST_F(ExplorerTest, TreeAndMenusFollowTheReport) {
    AddSource("Sales", "shop.db", "select region, amount from sales");
    AddSheet("Overview", "Sales");
    test::AddParameter(Report(), "Region", "North");
    COvInfoAct& daily = AddTask(Report(), "Daily");
    AddTask(Report(), "Mail", &daily);
    AddTask(Report(), "Weekly");
    AddTask(Report(), "Zip", &daily);

    const std::vector<ExplorerNode> roots = BuildExplorerTree(Ctx(), Report());
    EXPECT_EQ(Captions(roots),
              (std::vector<std::string>{"HTML", "Orvik18 Param's", "Data Sources", "View Sheets",
                                        "Distributions", "Default Propertys"}));
    EXPECT_EQ(Captions(roots[3].Children[0].Children),
              (std::vector<std::string>{"Col 0_0 <region>", "Col 0_1 <amount>"}));
    const ExplorerNode& tasks = roots[4];
    EXPECT_EQ(Captions(tasks.Children), (std::vector<std::string>{"Daily", "Weekly"}));
    EXPECT_EQ(Captions(tasks.Children[0].Children), (std::vector<std::string>{"Mail", "Zip"}));

    EXPECT_EQ(MenuTexts(Ctx(), ExplorerRoot::Parameters, false).NewItem,
              "New Item Orvik18 Param\tINS");
    EXPECT_TRUE(MenuTexts(Ctx(), ExplorerRoot::Parameters, false).RunTask.empty());
    const ExplorerMenuTexts task = MenuTexts(Ctx(), tasks.Children[0]);
    EXPECT_EQ(task.NewChildItem, "New Child Item Step\tCtrl+INS");
    EXPECT_EQ(task.Delete, "Delete Distribution\tDEL");
    EXPECT_EQ(task.RunTask, "Run Task");
    EXPECT_EQ(MenuTexts(Ctx(), tasks.Children[0].Children[0]).Delete, "Delete Step\tDEL");
    EXPECT_TRUE(MenuTexts(Ctx(), roots[3].Children[0].Children[0]).Delete.empty());  // column set
    EXPECT_TRUE(MenuTexts(Ctx(), ExplorerRoot::Page, false).NewItem.empty());
}

TEST_F(ExplorerTest, EveryItemShowsItsPropertiesAsTheKindItIsFiledUnder) {
    AddSource("Sales", "shop.db", "select region, amount from sales");
    AddSheet("Overview", "Sales");
    test::AddParameter(Report(), "Region", "North");
    AddTask(Report(), "Step", &AddTask(Report(), "Daily"));

    const std::pair<ExplorerRoot, ObjectKind> filed[] = {
        {ExplorerRoot::Parameters, ObjectKind::Parameter},
        {ExplorerRoot::DataSources, ObjectKind::DataSource},
        {ExplorerRoot::Sheets, ObjectKind::Sheet},
        {ExplorerRoot::Tasks, ObjectKind::Task},
    };
    int shown = 0;
    const auto check = [&](const ExplorerNode& node, ObjectKind kind) {
        EXPECT_EQ(node.Kind, kind) << node.Caption;
        ShowObjectProperties(Ctx(), *node.Object);
        EXPECT_EQ(Front().Shown.back(), std::make_pair(kind, node.Object)) << node.Caption;
        ++shown;
    };
    for (const ExplorerNode& root : BuildExplorerTree(Ctx(), Report())) {
        EXPECT_EQ(root.Kind, ObjectKind::None);
        for (const auto& [where, kind] : filed) {
            if (root.Root != where) continue;
            for (const ExplorerNode& node : root.Children) {
                check(node, kind);
                for (const ExplorerNode& child : node.Children)
                    check(child, where == ExplorerRoot::Sheets ? ObjectKind::GridColumns : kind);
            }
        }
    }
    EXPECT_EQ(shown, 7);  // parameter, source, sheet, its two column sets, task, step
    // The data source shown becomes the current one (the query builder works on it).
    EXPECT_EQ(Report().CurrentDataSource, Report().DataSources[0].get());
}

TEST_F(ExplorerTest, NewObjectsAreNumberedAndTakenNamesRefused) {
    auto* p1 = static_cast<COvInfoPrm*>(NewItem(Ctx(), ExplorerRoot::Parameters));
    auto* p2 = static_cast<COvInfoPrm*>(NewItem(Ctx(), ExplorerRoot::Parameters));
    ASSERT_TRUE(p1 && p2);
    EXPECT_EQ(p1->Name.Value + p2->Name.Value, "P1P2");
    EXPECT_EQ(Report().ReportObject->Props.back(), &p2->PrmVal);
    EXPECT_EQ(Front().Shown.back(),
              std::make_pair(ObjectKind::Parameter, static_cast<COvInfoObject*>(p2)));
    EXPECT_TRUE(Report().Modified);
    EXPECT_EQ(Front().Count("RebuildExplorer"), 2);
    p1->Name.Value = "P3";
    EXPECT_EQ(NewItem(Ctx(), ExplorerRoot::Parameters), nullptr);
    EXPECT_EQ(LastMessage(), "Not Uniq Param Name = P3");

    // The first sheet brings the report's first data source with it.
    auto* sheet = static_cast<COvInfoSheet*>(NewItem(Ctx(), ExplorerRoot::Sheets));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->Name.Value, "Sheet 1");
    EXPECT_EQ(Front().Shown.back().second, sheet);
    sheet->Name.Value = "Sheet 2";
    EXPECT_EQ(NewItem(Ctx(), ExplorerRoot::Sheets), nullptr);
    EXPECT_EQ(LastMessage(), "Not Uniq Sheet Name  = Sheet 2");

    auto* ds = static_cast<COvInfoDS*>(NewItem(Ctx(), ExplorerRoot::DataSources));
    ASSERT_NE(ds, nullptr);
    EXPECT_EQ(ds->Name.Value, "Data Source 2");
    Edit(ObjectKind::DataSource, *ds, "Name", "Data Source 3");
    EXPECT_EQ(NewItem(Ctx(), ExplorerRoot::DataSources), nullptr);
    EXPECT_EQ(LastMessage(), "Not Uniq Combo Value = 'Data Source 3'");
    EXPECT_EQ(Report().DataSources.size(), 2u);
}

TEST_F(ExplorerTest, NewTasksGoFirstAndStepsFollowTheirTask) {
    COvInfoAct& daily = AddTask(Report(), "Daily");
    auto* task = static_cast<COvInfoAct*>(NewItem(Ctx(), ExplorerRoot::Tasks));
    ASSERT_NE(task, nullptr);
    EXPECT_EQ(Report().Tasks.front().get(), task);
    EXPECT_EQ(task->GetPropByName("AType"), nullptr);

    COvInfoAct* first = NewChildItem(Ctx(), *task);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Parent, task);
    EXPECT_EQ(Report().Tasks.back().get(), first);
    EXPECT_EQ(first->GetPropByName("SendAfterFailure"), nullptr);
    COvInfoAct* second = NewChildItem(Ctx(), *first);  // on a step: under the step's task
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Parent, task);
    NewChildItem(Ctx(), daily);
    second->Name.Value = "Step 3";
    EXPECT_EQ(NewChildItem(Ctx(), *task), nullptr);
    EXPECT_EQ(LastMessage(), "Not Uniq Distrib Name = Step 3");
}

TEST_F(ExplorerTest, DeletingASourceAsksFirstAndLeavesItsSheetsEmpty) {
    COvInfoDS& sales = AddSource("Sales", "shop.db", "select region, amount from sales");
    AddSource("Stock", "stock.db", "select item, qty from stock");
    COvInfoSheet& overview = AddSheet("Overview", "Sales");
    COvInfoSheet& items = AddSheet("Items", "Stock");
    COvInfoPrm& region = test::AddParameter(Report(), "Region", "");
    Edit(ObjectKind::Parameter, region, "Type", "DScmb");
    Edit(ObjectKind::Parameter, region, "cDS", "Sales");
    sales.ShowProp(Ctx().Front(), Report());

    Front().Answer = MessageBoxResult::No;
    EXPECT_FALSE(DeleteItem(Ctx(), sales));
    ASSERT_EQ(Front().Messages.size(), 1u);
    EXPECT_EQ(LastMessage(), "Are Your Sure to delete item?");
    EXPECT_EQ(Front().Messages[0].Caption, "Delete Item");
    EXPECT_EQ(Front().Messages[0].Buttons, MessageBoxButtons::YesNo);
    EXPECT_EQ(Report().DataSources.size(), 2u);

    Front().Answer = MessageBoxResult::Yes;
    EXPECT_TRUE(DeleteItem(Ctx(), sales));
    EXPECT_EQ(Report().DataSources.size(), 1u);
    EXPECT_EQ(Report().CurrentDataSource, nullptr);
    EXPECT_EQ(Registries().FindComboValue(ListId::DataSources, "Sales"), nullptr);
    EXPECT_TRUE(overview.cDS.Value.empty());
    EXPECT_EQ(GridRows(overview), 0);
    EXPECT_EQ(overview.View->GetGridCtrl()->DataSource, nullptr);
    EXPECT_EQ(GridRows(items), 3);
    EXPECT_TRUE(region.Get("cDS").empty());
    // The page was built again from grids that no longer hold the source's result.
    EXPECT_EQ(Front().Events.back(), "ShowPage");
    EXPECT_EQ(Front().Shown.back().first, ObjectKind::Report);
}

TEST_F(ExplorerTest, DeletingLeavesNoReferenceBehind) {
    AddSource("Sales", "shop.db", "select region, amount from sales");
    COvInfoSheet& overview = AddSheet("Overview", "Sales");
    COvInfoSheet& other = AddSheet("Other", "Sales");
    // Parameters standing for the sheets' titles, shown in the property bar in their place.
    const auto refer = [&](const char* name, COvInfoSheet& sheet) -> COvInfoPrm& {
        COvInfoPrm& prm = test::AddParameter(Report(), name, "");
        prm.Type.Value = "rprop";
        Registries().PrepareNewCombo(prm.Type, prm.Props, true);
        COvInfoProp* title = sheet.GetPropByName("Title");
        title->Value = "Title of " + sheet.Name.Value;
        prm.GetPropByName("cprop")->DefaultValue = FormatPropertyReference(Report(), title);
        WraperParam(Ctx(), prm, false);
        title->RefBy = &prm.PrmVal;
        return prm;
    };
    COvInfoPrm& first = refer("First", overview);
    refer("Second", other);
    ASSERT_EQ(first.PrmVal.SelectedCombo, overview.GetPropByName("Title"));
    Front().Answer = MessageBoxResult::Yes;

    const size_t values = Report().ReportObject->Props.size();
    const size_t appended = Registries().AppendedProperties.size();
    ASSERT_TRUE(DeleteItem(Ctx(), *Report().Params[1]));
    EXPECT_EQ(other.GetPropByName("Title")->RefBy, nullptr);
    EXPECT_EQ(Report().ReportObject->Props.size(), values - 1);
    // Its five layout properties and its reference choice went with it.
    EXPECT_EQ(Registries().AppendedProperties.size(), appended - 6);

    size_t sheetOwned = 0;
    for (const COvInfoProp* prop : overview.Props) sheetOwned += prop->Appended;
    ASSERT_TRUE(DeleteItem(Ctx(), overview));
    EXPECT_EQ(Front().Count("RemoveSheetView:Overview"), 1);
    EXPECT_EQ(Registries().AppendedProperties.size(), appended - 6 - sheetOwned);
    EXPECT_EQ(first.PrmVal.Kind, PropKind::Text);
    EXPECT_EQ(first.PrmVal.SelectedCombo, nullptr);
    EXPECT_EQ(first.PrmVal.Value, "Title of Overview");
    EXPECT_TRUE(first.GetPropByName("cprop")->DefaultValue.empty());

    COvInfoAct& daily = AddTask(Report(), "Daily");
    COvInfoAct& weekly = AddTask(Report(), "Weekly");
    AddTask(Report(), "Mail", &daily);
    AddTask(Report(), "Upload", &weekly);
    AddTask(Report(), "Zip", &daily);
    ASSERT_TRUE(DeleteItem(Ctx(), daily));
    EXPECT_EQ(TaskNames(Report()), (std::vector<std::string>{"Weekly", "Upload"}));
    EXPECT_FALSE(DeleteItem(Ctx(), *Report().ReportObject));
}

TEST_F(ExplorerTest, RunTaskRunsTheFirstTaskOfThatName) {
    const std::string out = program.Home().Path() + "ran.txt";
    for (const char* word : {"first", "second"}) {
        COvInfoAct& step = AddTask(Report(), "Echo", &AddTask(Report(), "Daily"));
        step.AType.Value = "CMD";
        Registries().PrepareNewCombo(step.AType, step.Props, true);
        step.GetPropByName("cmd")->Value = std::string("echo ") + word + " >> '" + out + "'";
    }
    EXPECT_TRUE(RunTaskNamed(Ctx(), "Daily"));
    EXPECT_EQ(test::ReadFileBytes(out), "first\n");
    EXPECT_FALSE(RunTaskNamed(Ctx(), "Echo"));  // a step is no task
}

}  // namespace
}  // namespace orvik::design
