#include "design/PropertyChange.h"

#include "core/SettingsStore.h"
#include "design/DesignerFixture.h"
#include "tasks/HtmlExport.h"

namespace orvik::design {
namespace {

using PropertyChangeTest = test::DesignerFixture;

std::vector<std::string> ListEntries(CRegistries& registries, const COvInfoProp* prop) {
    std::vector<std::string> names;
    for (const auto& entry : registries.ComboValues)
        if (prop && entry->Id == static_cast<int>(prop->ComboId)) names.push_back(entry->Name);
    return names;
}

TEST_F(PropertyChangeTest, RenamesAreFollowedOrRefused) {
    COvInfoDS& sales = AddSource("Sales", "shop.db", "select region from sales");
    AddSource("Stock", "stock.db", "select item from stock");
    COvInfoSheet& a = AddSheet("A", "Sales");
    COvInfoSheet& b = AddSheet("B", "Sales");
    COvInfoPrm& region = test::AddParameter(Report(), "Region", "");
    Edit(ObjectKind::Parameter, region, "Type", "DScmb");
    Edit(ObjectKind::Parameter, region, "cDS", "Sales");
    COvInfoPrm& stock = test::AddParameter(Report(), "Item", "");
    Edit(ObjectKind::Parameter, stock, "Type", "DScmb");
    Edit(ObjectKind::Parameter, stock, "cDS", "Stock");

    Edit(ObjectKind::DataSource, sales, "Name", "Shop");
    EXPECT_EQ(a.cDS.Value, "Shop");
    EXPECT_EQ(b.cDS.Value, "Shop");
    // A list parameter read from the source follows it; one read from another source stays.
    EXPECT_EQ(region.Get("cDS"), "Shop");
    EXPECT_EQ(stock.Get("cDS"), "Stock");
    EXPECT_NE(Registries().FindComboValue(ListId::DataSources, "Shop"), nullptr);
    EXPECT_EQ(Registries().FindComboValue(ListId::DataSources, "Sales"), nullptr);
    EXPECT_EQ(Front().Count("ExplorerText:Shop"), 1);

    EXPECT_TRUE(Edit(ObjectKind::DataSource, sales, "Name", "Stock"));
    EXPECT_EQ(sales.Name.Value, "Shop");
    EXPECT_EQ(LastMessage(), "Not Uniq Combo Value = 'Stock'");
    Edit(ObjectKind::DataSource, sales, "Name", "");
    EXPECT_EQ(sales.Name.Value, "Shop");
    EXPECT_TRUE(Edit(ObjectKind::Sheet, a, "Name", "B"));
    EXPECT_EQ(a.Name.Value, "A");
    EXPECT_EQ(LastMessage(), "Not Uniq Sheet Name  = B");
    Edit(ObjectKind::Sheet, a, "Name", "Alpha");
    EXPECT_EQ(Front().Count("SheetRenamed:Alpha"), 1);
    EXPECT_EQ(Front().Count("ExplorerText:Alpha"), 1);
}

TEST_F(PropertyChangeTest, SwitchingTheTypedQueryOffClearsItOnce) {
    COvInfoDS& cube = AddSource("Cube", "shop.db", "");
    cube.DSN.Value.clear();  // never connects: this is about the properties
    EXPECT_TRUE(Edit(ObjectKind::DataSource, cube, "tpDS", "OLAP"));
    COvInfoProp* nCube = cube.GetPropByName("nCube");
    ASSERT_NE(nCube, nullptr);
    // The cube list is filled from a catalog later; a cube named before that stays named.
    Edit(ObjectKind::DataSource, cube, "nCube", "Sales");
    EXPECT_EQ(nCube->Value, "Sales");

    EXPECT_TRUE(Edit(ObjectKind::DataSource, cube, "bQ", "1"));
    EXPECT_FALSE(cube.Qry.IsReadOnly());
    EXPECT_TRUE(nCube->IsReadOnly());
    EXPECT_TRUE(Front().Messages.empty());

    cube.Qry.Value = "SELECT [Measures].[Unit Sales] ON COLUMNS FROM [Sales]";
    EXPECT_TRUE(Edit(ObjectKind::DataSource, cube, "bQ", "0"));
    ASSERT_EQ(Front().Messages.size(), 1u);
    EXPECT_EQ(Front().Messages[0].Text, "Clear Query!");
    EXPECT_EQ(Front().Messages[0].Icon, MessageBoxIcon::None);
    EXPECT_TRUE(cube.Qry.Value.empty());
    EXPECT_TRUE(cube.Qry.IsReadOnly());
    EXPECT_FALSE(nCube->IsReadOnly());

    Edit(ObjectKind::DataSource, cube, "bQ", "1");
    Edit(ObjectKind::DataSource, cube, "bQ", "0");
    EXPECT_EQ(Front().Messages.size(), 1u);
}

TEST_F(PropertyChangeTest, AListValueBringsOnlyItsOwnProperties) {
    COvInfoAct& step = *Report().Tasks.emplace_back(
        std::make_unique<COvInfoAct>(&Ctx().Registries(), GroupId::Task));
    const size_t registered = Registries().AppendedProperties.size();
    EXPECT_TRUE(Edit(ObjectKind::Task, step, "AType", "SMTP"));
    EXPECT_TRUE(Edit(ObjectKind::Task, step, "AType", "FTP"));
    std::vector<std::string> names;
    for (const COvInfoProp* prop : step.Props) names.push_back(prop->Name);
    EXPECT_EQ(names,
              (std::vector<std::string>{
                  "Name", "AType", "SendAfterFailure", "Srv", "User", "Password", "Files",
                  "FtpSecurity", "FtpUser", "FtpPassword", "FtpPasswordCommand", "FtpKeyFile",
                  "FtpKnownHosts", "FtpCAFile", "FtpVerify", "FtpConnectTimeout"}));
    EXPECT_EQ(step.GetPropByName("Srv")->Caption, "FTP Server");
    EXPECT_EQ(Registries().AppendedProperties.size(), registered + 13);
    EXPECT_EQ(Front().Count("ShowPage"), 0);  // tasks are not on the page
}

TEST_F(PropertyChangeTest, AnotherSourceEmptiesAListParametersChoices) {
    AddSource("Sales", "shop.db", "select region from sales");
    AddSource("Stock", "stock.db", "select item from stock");
    COvInfoPrm& region = test::AddParameter(Report(), "Region", "");
    Edit(ObjectKind::Parameter, region, "Type", "DScmb");
    Edit(ObjectKind::Parameter, region, "cDS", "Sales");
    EXPECT_EQ(ListEntries(Registries(), region.GetPropByName("cDST")),
              (std::vector<std::string>{"sales", "targets"}));
    Edit(ObjectKind::Parameter, region, "cDST", "sales");
    Edit(ObjectKind::Parameter, region, "cDSC", "region");
    region.GetPropByName("cDSW")->Value = "amount > 0";
    EXPECT_EQ(region.PrmVal.Kind, PropKind::Custom);  // the region values to tick

    Edit(ObjectKind::Parameter, region, "cDST", "targets");
    EXPECT_EQ(region.Get("cDS"), "Sales");
    EXPECT_TRUE(region.Get("cDSC").empty());
    EXPECT_TRUE(region.Get("cDSW").empty());

    Edit(ObjectKind::Parameter, region, "cDSC", "region");
    EXPECT_TRUE(Edit(ObjectKind::Parameter, region, "cDS", "Stock"));
    for (const char* key : {"cDST", "cDSC", "cDSW"}) EXPECT_TRUE(region.Get(key).empty()) << key;
    EXPECT_EQ(ListEntries(Registries(), region.GetPropByName("cDST")),
              std::vector<std::string>{"stock"});
    EXPECT_TRUE(Front().Messages.empty());
}

TEST_F(PropertyChangeTest, SheetEditsShowOnTheGridAndPage) {
    AddSource("Sales", "shop.db", "select region, amount from sales");
    AddSource("Stock", "stock.db", "select item, qty from stock");
    COvInfoSheet& sheet = AddSheet("Overview", "Sales");
    const size_t shown = Front().Shown.size();

    Edit(ObjectKind::Sheet, sheet, "Title", "Regions this week");
    EXPECT_NE(test::ReadFileBytes(PageFilePath(Ctx())).find("Regions this week"),
              std::string::npos);

    Edit(ObjectKind::Sheet, sheet, "cDS", "Stock");
    ASSERT_EQ(GridRows(sheet), 3);
    EXPECT_EQ(FindGridView(sheet)->GetGridCtrl()->GetItemText(1, 0), "bolt");
    EXPECT_EQ(Front().Count("SheetRefreshed:Overview"), 1);
    Edit(ObjectKind::Sheet, sheet, "cDS", "");
    EXPECT_EQ(GridRows(sheet), 0);

    Registries().AddComboValue(ListId::OutputTypes, "CHART", "Chart", 0);
    EXPECT_TRUE(Edit(ObjectKind::Sheet, sheet, "tpVW", "CHART"));
    EXPECT_EQ(Front().Count("ReplaceSheetView:Overview"), 1);
    EXPECT_EQ(sheet.GetPropByName("Title"), nullptr);
    EXPECT_EQ(Front().Shown.size(), shown);  // the bar stayed where the user was
}

TEST_F(PropertyChangeTest, AParameterValueRunsEveryQueryAgain) {
    AddSource("Sales", "shop.db", "select region, amount from sales where region = `Region");
    test::AddParameter(Report(), "Region", "North");
    COvInfoSheet& sheet = AddSheet("Overview", "Sales");
    ASSERT_EQ(FindGridView(sheet)->GetGridCtrl()->GetItemText(1, 0), "North");

    Edit(ObjectKind::Report, *Report().ReportObject, "PrmVal", "South");
    ASSERT_EQ(GridRows(sheet), 2);
    EXPECT_EQ(FindGridView(sheet)->GetGridCtrl()->GetItemText(1, 0), "South");
    EXPECT_NE(test::ReadFileBytes(PageFilePath(Ctx())).find("South"), std::string::npos);
    EXPECT_EQ(Front().Count("ShowPage"), 1);

    // A query that fails is reported, never thrown, and the grid keeps what it showed.
    COvInfoDS& sales = *Report().DataSources[0];
    EXPECT_NO_THROW(Edit(ObjectKind::DataSource, sales, "Qry", "select region from nowhere"));
    ASSERT_FALSE(Front().Messages.empty());
    EXPECT_EQ(Front().Messages.back().Icon, MessageBoxIcon::Error);
    EXPECT_NE(Front().Messages.back().Text.find("nowhere"), std::string::npos);
    EXPECT_EQ(GridRows(sheet), 2);
}

TEST_F(PropertyChangeTest, SettingsAreStoredAtOnceAndLeaveTheReportAlone) {
    COvInfoProp* mail = Registries().FindSetting("DefSrvMail");
    mail->Value = "smtp.example.org";
    EXPECT_FALSE(OnPropertyChanged(Ctx(), {ObjectKind::Settings, nullptr}, *mail, ""));
    EXPECT_EQ(SettingsStore(program.SettingsPath()).GetString("General", "DefSrvMail"),
              "smtp.example.org");
    EXPECT_FALSE(Report().Modified);
    EXPECT_EQ(Front().Count("ShowPage"), 0);
}

}  // namespace
}  // namespace orvik::design
