// Filling a sheet's grid from real SQLite results: what lands in the cells (texts, alignment),
// how column definitions carry renames across runs, how sheet properties change the grid's look,
// and how the views of a report are made, found and refreshed.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "data/AdoDatabase.h"
#include "data/AdoRecordset.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoGCols.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "model/ViewType.h"
#include "render/GridBase.h"
#include "render/GridView.h"
#include "render/GridViews.h"

namespace orvik::test {
namespace {

class GridFill : public ::testing::Test {
  protected:
    void SetUp() override {
        program_.Home().Write("grid.db", "");
        database_.Open("Provider=SQLite;Data Source=" + program_.Home().Path() + "grid.db");
        Report().StartNew();
        source_ = Report().NewDataSource("Sales");
        source_->DSN.Value = "Provider=SQLite;Data Source=grid.db";
        sheet_ = Report().NewSheet("Sheet 1");
        sheet_->cDS.Value = "Sales";
    }
    void TearDown() override { DestroyGridViews(Report()); }

    CReport& Report() { return program_.Context().Report(); }
    // Runs `query` as the sheet's data source and makes the sheet's grid view.
    CGridBase& Show(const std::string& query) {
        source_->Qry.Value = query;
        view_ = CreateGridView(program_.Context(), *sheet_);
        EXPECT_NE(view_, nullptr);
        return *view_->GetGridCtrl();
    }
    std::string Text(int row, int column) const {
        return std::string(view_->GetGridCtrl()->GetItemText(row, column));
    }
    COvInfoGCols* Definition(const std::string& key) const {
        for (const auto& column : sheet_->GridColumns)
            if (column->Key == key) return column.get();
        return nullptr;
    }
    std::string Messages() {
        std::string all;
        for (const auto& message : program_.Front().Messages) all += message.Text + "\n";
        return all;
    }

    TestProgram program_;
    CADODatabase database_;
    COvInfoDS* source_ = nullptr;
    COvInfoSheet* sheet_ = nullptr;
    CGridView* view_ = nullptr;
};

TEST_F(GridFill, CellsHoldTheFormattedValuesAndNumbersAreRightAligned) {
    database_.Execute(
        "CREATE TABLE s (id integer, big integer, price double, amount numeric(10,2), "
        "name text, day date)");
    database_.Execute(
        "INSERT INTO s VALUES (1, 5000000000, 1234.5, 12.5, 'Alpha <b>', '2024-03-01'), "
        "(2, -7, -0.25, NULL, NULL, NULL)");
    CGridBase& grid = Show("SELECT id, big, price, amount, name, day FROM s ORDER BY id");

    ASSERT_EQ(grid.GetRowCount(), 3);
    ASSERT_EQ(grid.GetColumnCount(), 6);
    EXPECT_EQ(grid.GetFixedRowCount(), 1);
    EXPECT_EQ(grid.GetFixedColumnCount(), 0);
    EXPECT_EQ(Text(0, 0), "id");
    EXPECT_EQ(Text(0, 5), "day");
    EXPECT_EQ(Text(1, 1), "5000000000");  // 64-bit, as SQLite hands large integers over
    EXPECT_EQ(Text(1, 2), "1 234.50");
    EXPECT_EQ(Text(1, 3), "12.50");
    EXPECT_EQ(Text(1, 4), "Alpha <b>");
    EXPECT_EQ(Text(1, 5), source_->GetDSTextRC(program_.Context(), 1, 5));
    EXPECT_EQ(Text(2, 1), "-7");
    EXPECT_EQ(Text(2, 2), "-0.25");
    EXPECT_EQ(Text(2, 3), "");
    for (int column : {0, 1, 2, 3}) EXPECT_TRUE(grid.IsItemRightAligned(1, column)) << column;
    for (int column : {4, 5}) EXPECT_FALSE(grid.IsItemRightAligned(1, column)) << column;
    EXPECT_FALSE(grid.IsItemRightAligned(0, 0));  // titles never are
    EXPECT_FALSE(grid.IsItemRightAligned(2, 3));  // nor is a null

    EXPECT_EQ(GV_getRowCount(view_), 3);
    EXPECT_EQ(GV_getRowCol(view_, 1, 2), "1234.50");
    EXPECT_TRUE(Messages().empty()) << Messages();
}

// The fill spells integers and reals itself and remembers date texts; every cell must still read
// exactly as the value formatter writes it.
TEST_F(GridFill, CellTextsAreExactlyTheValueFormattersTexts) {
    database_.Execute("CREATE TABLE v (n integer, r double, d date, x numeric(20,3))");
    std::string values;
    const double reals[] = {0,
                            -0.001,
                            0.005,
                            0.015,
                            2.675,
                            -1234.5,
                            999.995,
                            -999.995,
                            1e14 + 0.5,
                            123456789.125,
                            -98765432109.875,
                            1e15,
                            -1e20,
                            5e-324,
                            1234567890123.455};
    const long long integers[] = {0, 1, -1, INT_MAX, INT_MIN, 2147483648LL, LLONG_MIN, LLONG_MAX};
    for (const double real : reals) {
        char text[64];
        std::snprintf(text, sizeof text, "%.17g", real);
        values += std::string(values.empty() ? "" : ",") + "(0, " + text + ", '2024-01-31', " +
                  text + ")";
    }
    for (const long long integer : integers)
        values += ",(" + std::to_string(integer) + ", NULL, '2024-01-31 12:30:00', '" +
                  std::to_string(integer) + ".5')";
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> spread(-1e13, 1e13);
    for (int i = 0; i < 500; ++i) {
        char text[64];
        std::snprintf(text, sizeof text, "%.17g", spread(random) / std::pow(10, i % 12));
        values += ",(" + std::to_string(static_cast<long long>(random() >> (i % 64))) + ", " +
                  text + ", date('2024-01-01', '+" + std::to_string(i % 40) + " days'), " +
                  std::to_string(i - 250) + " / 1000.0)";
    }
    database_.Execute("INSERT INTO v VALUES " + values);
    CGridBase& grid = Show("SELECT n, r, d, x FROM v");
    ASSERT_EQ(grid.GetRowCount(), 1 + 15 + 8 + 500);
    for (int row = 1; row < grid.GetRowCount(); ++row)
        for (int column = 0; column < 4; ++column)
            ASSERT_EQ(Text(row, column),
                      VariantToText(source_->GetDSvarRC(program_.Context(), row, column)))
                << row << "," << column;
}

TEST_F(GridFill, AnEmptyResultLeavesTheHeaderRowAlone) {
    database_.Execute("CREATE TABLE s (id integer, name text)");
    CGridBase& grid = Show("SELECT id, name FROM s");
    EXPECT_EQ(grid.GetRowCount(), 1);
    EXPECT_EQ(Text(0, 1), "name");
    EXPECT_EQ(GV_getRowCount(view_), 1);
}

TEST_F(GridFill, FieldTitlesLoseTheirMemberCaptionAndMeasuresParts) {
    CGridBase& grid = Show("SELECT 1 AS \"[Measures].[Sales].[MEMBER_CAPTION]\", 2 AS \"a.b\"");
    EXPECT_EQ(Text(0, 0), "[Sales]");
    EXPECT_EQ(Text(0, 1), "a.b");
    EXPECT_EQ(grid.GetColumnCount(), 2);
}

TEST_F(GridFill, ColumnDefinitionsCarryRenamesAndDefaultsArePruned) {
    database_.Execute("CREATE TABLE s (id integer, name text)");
    database_.Execute("INSERT INTO s VALUES (1, 'a')");
    Show("SELECT id, name FROM s");
    ASSERT_EQ(sheet_->GridColumns.size(), 2u);
    COvInfoGCols* first = Definition("0_0");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->ColN.Value, "id");
    EXPECT_EQ(first->ColN.DefaultValue, "id");
    EXPECT_EQ(first->ColT.Value, "DEF");
    ASSERT_NE(Definition("0_1"), nullptr);

    first->ColN.Value = "Identifier";
    COvInfoGCols* second = Definition("0_1");
    second->ColT.Value = "BT";  // a type alone keeps a definition
    view_->Rerun();
    EXPECT_EQ(Text(0, 0), "Identifier");
    EXPECT_EQ(sheet_->GridColumns.size(), 2u);
    EXPECT_EQ(Definition("0_0"), first);
    EXPECT_EQ(Definition("0_1"), second);

    // A rename belongs to the column's place, whatever the query now calls it.
    second->ColT.Value = "DEF";
    Show("SELECT name AS label FROM s");
    EXPECT_EQ(Text(0, 0), "Identifier");
    EXPECT_EQ(sheet_->GridColumns.size(), 1u);  // 0_1 said nothing more: gone
    EXPECT_EQ(Definition("0_1"), nullptr);

    // Back at its default, the definition is dropped and a fresh one made for the new title.
    first->ColN.Value = first->ColN.DefaultValue;
    Show("SELECT name AS label FROM s");
    EXPECT_EQ(Text(0, 0), "label");
    ASSERT_NE(Definition("0_0"), nullptr);
    EXPECT_EQ(Definition("0_0")->ColN.DefaultValue, "label");
    EXPECT_EQ(sheet_->GridColumns.size(), 1u);

    Definition("0_0")->ColN.Value = "";  // an emptied name is dropped too
    Show("SELECT name AS label FROM s");
    EXPECT_EQ(Text(0, 0), "label");
}

TEST_F(GridFill, SheetPropertiesSetTheDefaultCellsAndRenamesTheHeader) {
    CGridBase& grid = Show("SELECT 1 AS one, 'x' AS two");
    // The sheet's defaults ("192,192,192", "Arial,100", ...) were applied by the fill.
    EXPECT_EQ(grid.DefaultCell(GridCellKind::FixedRow).Font.PixelHeight, -13);
    EXPECT_EQ(grid.DefaultCell(GridCellKind::FixedRow).BackColour, (Rgb{192, 192, 192}));

    COvInfoProp* headerColour = sheet_->GetPropByName("hBC");
    ASSERT_NE(headerColour, nullptr);
    headerColour->Value = "10,20,30";
    grid.ApplyProperty(*headerColour);
    EXPECT_EQ(grid.DefaultCell(GridCellKind::FixedRow).BackColour, (Rgb{10, 20, 30}));
    EXPECT_EQ(grid.DefaultCell(GridCellKind::FixedColumn).BackColour, (Rgb{10, 20, 30}));
    EXPECT_EQ(grid.DefaultCell(GridCellKind::Ordinary).BackColour, (Rgb{255, 255, 255}));
    headerColour->Value = "red";  // not a colour: nothing changes
    grid.ApplyProperty(*headerColour);
    EXPECT_EQ(grid.DefaultCell(GridCellKind::FixedRow).BackColour, (Rgb{10, 20, 30}));

    COvInfoProp* dataFont = sheet_->GetPropByName("gF");
    ASSERT_NE(dataFont, nullptr);
    dataFont->Value = "Courier New,110,BIS,204,";
    grid.ApplyProperty(*dataFont);
    const FontChoice& font = grid.DefaultCell(GridCellKind::Ordinary).Font;
    EXPECT_EQ(font.Face, "Courier New");
    EXPECT_EQ(font.PixelHeight, -14);
    EXPECT_EQ(font.Weight, 700);
    EXPECT_TRUE(font.Italic && font.StrikeOut && !font.Underline);
    EXPECT_EQ(grid.DefaultCell(GridCellKind::FixedRow).Font.Face, "Arial");

    COvInfoGCols* second = Definition("0_1");
    ASSERT_NE(second, nullptr);
    second->ColN.Value = "Second";
    grid.ApplyProperty(second->ColN);
    EXPECT_EQ(Text(0, 1), "Second");
}

TEST_F(GridFill, SourcesThatCannotFillLeaveNothingStale) {
    database_.Execute("CREATE TABLE s (id integer)");
    database_.Execute("INSERT INTO s VALUES (1)");
    CGridBase* grid = &Show("SELECT id FROM s");
    ASSERT_EQ(grid->GetRowCount(), 2);

    source_->Qry.Value = "SELECT nothing FROM nowhere";
    view_->Rerun();  // the source reports its own error; the grid shows no old rows
    EXPECT_EQ(grid->GetRowCount(), 0);

    grid = &Show("SELECT id FROM s");
    sheet_->cDS.Value = "No such source";
    view_->OnRefreshRequest();
    EXPECT_EQ(grid->GetRowCount(), 0);
    EXPECT_EQ(grid->RecordSet, nullptr);

    sheet_->cDS.Value = "Sales";
    source_->tpDS.Value = "Cube?";
    program_.Front().Messages.clear();
    view_->OnRefreshRequest();
    ASSERT_EQ(program_.Front().Messages.size(), 1u);
    EXPECT_EQ(program_.Front().Messages[0].Text, "Unknown DSN type = Cube?");

    source_->tpDS.Value = "OLAP";  // no cell set yet: nothing to show, nothing changed
    grid->SetRowCount(1);
    grid->SetColumnCount(1);
    view_->OnRefreshRequest();
    EXPECT_EQ(grid->GetRowCount(), 1);
}

TEST_F(GridFill, RowsAreAppendedAndRefreshedUnderAKeptHeader) {
    database_.Execute("CREATE TABLE s (id integer)");
    database_.Execute("INSERT INTO s VALUES (1), (2)");
    CGridBase& grid = Show("SELECT id FROM s ORDER BY id");
    grid.FillRecordSet(1);
    ASSERT_EQ(grid.GetRowCount(), 5);
    EXPECT_EQ(Text(3, 0), "1");
    EXPECT_EQ(Text(4, 0), "2");

    grid.SetItemText(0, 0, "Kept");
    database_.Execute("INSERT INTO s VALUES (3)");
    // The source runs again first (its old result is freed): the grid must read the new one.
    source_->OpenRSDS(program_.Context());
    grid.RefreshRows();
    ASSERT_EQ(grid.GetRowCount(), 4);
    EXPECT_EQ(Text(0, 0), "Kept");
    EXPECT_EQ(Text(3, 0), "3");

    database_.Execute("DELETE FROM s WHERE id > 1");
    grid.RefreshRows();
    EXPECT_EQ(grid.GetRowCount(), 2);
    EXPECT_EQ(Text(1, 0), "1");
}

TEST_F(GridFill, KpiResultsKeepIndicatorNamesUsableAsFileNames) {
    Show(
        "SELECT 'Folder' AS a, 1 AS b, 2 AS c, 3 AS d, 4 AS e, 5 AS f, 6 AS g, 7 AS h, "
        "'Traffic light' AS status, 'Standard arrow' AS trend");
    COvInfoDS* kpi = Report().NewDataSource("Kpi");
    kpi->tpDS.Value = "KPI";
    CGridBase grid;
    grid.Sheet = sheet_;
    grid.DataSource = kpi;
    grid.RecordSet = source_->RecordSet.get();
    const size_t definitions = sheet_->GridColumns.size();
    grid.FillRecordSet(-1);
    EXPECT_EQ(grid.GetItemText(1, 8), "Traffic_light");
    EXPECT_EQ(grid.GetItemText(1, 9), "Standard_arrow");
    EXPECT_EQ(grid.GetItemText(0, 8), "status");
    EXPECT_EQ(sheet_->GridColumns.size(), definitions);  // KPI columns get no definitions

    // A KPI sheet's fill is the cube code's; the grid hands the whole fill over to it.
    int handedOver = 0;
    CGridBase::SetKpiFiller([&handedOver](CGridBase& filled) {
        ++handedOver;
        EXPECT_EQ(filled.CellSetFlag, 0);
    });
    sheet_->cDS.Value = "Kpi";
    view_->OnRefreshRequest();
    CGridBase::SetKpiFiller(nullptr);
    EXPECT_EQ(handedOver, 1);
}

TEST_F(GridFill, AHeaderClickShowsTheDefinitionsOfThatCell) {
    CGridBase& grid = Show("SELECT 1 AS one, 2 AS two");
    const auto found = grid.FindColumnDefinitions(0, 1);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->Key, "0_1");
    EXPECT_TRUE(grid.FindColumnDefinitions(1, 1).empty());

    auto& shown = program_.Front().Shown;
    shown.clear();
    grid.OnFixedCellClick(1, 1);  // a data cell
    EXPECT_TRUE(shown.empty());
    grid.OnFixedCellClick(0, 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, ObjectKind::GridColumns);
    EXPECT_EQ(shown[0].second, found[0]);
    shown.clear();
    grid.Mode = 1;  // cell picking: the click is the picker's
    grid.OnFixedCellClick(0, 1);
    EXPECT_TRUE(shown.empty());
}

TEST_F(GridFill, ViewsAreFoundRefreshedAndDestroyed) {
    database_.Execute("CREATE TABLE s (id integer)");
    database_.Execute("INSERT INTO s VALUES (1)");
    Show("SELECT id FROM s");
    EXPECT_EQ(FindGridView(*sheet_), view_);
    EXPECT_EQ(sheet_->View, view_);
    EXPECT_EQ(view_->SheetNumber(), 0);

    database_.Execute("INSERT INTO s VALUES (2)");
    source_->OpenRSDS(program_.Context());
    RefreshGridViews(program_.Context(), *source_);
    EXPECT_EQ(GV_getRowCount(view_), 3);

    COvInfoSheet* other = Report().NewSheet("Sheet 2");
    other->cDS.Value = "Sales";
    CGridView* otherView = CreateGridView(program_.Context(), *other);
    ASSERT_NE(otherView, nullptr);
    EXPECT_EQ(otherView->SheetNumber(), 1);
    EXPECT_EQ(FindGridView(*sheet_), view_);  // making one view leaves the others be

    DestroyGridView(*sheet_);
    EXPECT_EQ(FindGridView(*sheet_), nullptr);
    EXPECT_EQ(sheet_->View, nullptr);
    EXPECT_EQ(GV_getRowCount(nullptr), -1);
    EXPECT_EQ(GV_getRowCol(nullptr, 0, 0), "");

    // A registered view type other than the grid makes its own view (as a plug-in's does); a
    // name nobody registered shows a grid.
    struct Chart : orvik::ViewType {
        CGridView* MakeView(orvik::Run&, COvInfoSheet& sheet) override {
            Made = &sheet;
            return nullptr;
        }
        COvInfoSheet* Made = nullptr;
    };
    auto chart = std::make_shared<Chart>();
    program_.Context().Registries().Types.Views.Register("CHART", chart);
    other->tpVW.Value = "CHART";
    EXPECT_EQ(CreateGridView(program_.Context(), *other), nullptr);
    EXPECT_EQ(FindGridView(*other), nullptr);
    EXPECT_EQ(chart->Made, other);
    other->tpVW.Value = "GoneView";
    EXPECT_NE(CreateGridView(program_.Context(), *other), nullptr);
}

TEST_F(GridFill, FormulaReadsDropAbbreviationsAndEveryBlank) {
    Show("SELECT 'Прод.12 345,5' AS a, 'Прод 7 ' AS b, 'x\u00a0y z' AS c, 'Р' AS d");
    EXPECT_EQ(GV_getRowCol(view_, 1, 0), "12345,5");
    EXPECT_EQ(GV_getRowCol(view_, 1, 1), "7");
    EXPECT_EQ(GV_getRowCol(view_, 1, 2), "xyz");
    EXPECT_EQ(GV_getRowCol(view_, 1, 3), "Р");  // its second byte is 0xA0 and stays
    EXPECT_EQ(GV_getRowCol(view_, 0, 0), "a");
    EXPECT_EQ(GV_getRowCol(view_, 5, 0), "");
}

// The abbreviation goes only where it stands before a number: a product named with the same
// letters reaches formulas, charts and plug-ins whole.
TEST_F(GridFill, CellReadsKeepWordsThatMerelyStartLikeTheAbbreviation) {
    Show(
        "SELECT 'Продукты' AS a, 'Прод. отдел' AS b, 'АвтоПрод 5' AS c, 'Прод. -3,5' AS d, "
        "'Итого: Прод 7' AS e, 'Прод Продукты Прод.2' AS f");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Продукты", "Продукты"},    {"Прод.отдел", "Прод. отдел"},
        {"АвтоПрод5", "АвтоПрод 5"}, {"-3,5", "-3,5"},
        {"Итого:7", "Итого: 7"},     {"ПродПродукты2", "Прод Продукты 2"}};
    for (int column = 0; column < 6; ++column) {
        EXPECT_EQ(GV_getRowCol(view_, 1, column), expected[column].first) << column;
        EXPECT_EQ(source_->GetDSTextRC(program_.Context(), 1, column), expected[column].second)
            << column;
    }
}

}  // namespace
}  // namespace orvik::test
