// Filling a sheet's grid from OLAP cell sets built by hand: header rows and row headers from the
// axes' tuples with their outer repeats blanked, cells by ordinal, the not-a-number texts, column
// definitions on header row 0, refills and appends, and what the page makes of it all.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/AdoCellSet.h"
#include "data/AdoException.h"
#include "data/ProviderRegistry.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoGCols.h"
#include "model/Report.h"
#include "render/CellSetFill.h"
#include "render/GridBase.h"
#include "render/SheetHtml.h"

namespace orvik::test {
namespace {

CellSetPosition Tuple(const std::vector<std::string>& captions) {
    CellSetPosition position;
    for (const std::string& caption : captions) {
        CellSetMember member;
        member.Caption = caption;
        position.Members.push_back(std::move(member));
    }
    return position;
}

CellSetCell Number(double value, std::string formatted) {
    return {Variant::MakeR8(value), std::move(formatted)};
}

// Two years by two measures on columns, regions by categories on rows; cell i holds i.
CellSetData YearsByRegions() {
    CellSetData data;
    data.Axes.resize(2);
    for (const char* year : {"2024", "2025"})
        for (const char* measure : {"Amount", "Qty"})
            data.Axes[0].Positions.push_back(Tuple({year, measure}));
    data.Axes[1].Positions = {Tuple({"North", "Bikes"}), Tuple({"North", "Clothing"}),
                              Tuple({"South", "Bikes"})};
    for (int i = 0; i < 12; ++i) data.Cells.push_back(Number(i, std::to_string(i) + ".00"));
    return data;
}

// The cell sets the "Orvik.TestCells" provider hands out, as a cube engine would.
CellSetData& Served() {
    static CellSetData served;
    return served;
}

class ServedCells : public orvik::PrefixedProvider {
  public:
    ServedCells() : PrefixedProvider({"Orvik.TestCells"}, "") {}
    std::unique_ptr<CProviderConnection> Connect(std::string_view, const std::string&,
                                                 int) override {
        throw CADOException(AdoError::FeatureNotAvailable, "cells only");
    }
    bool ServesCellSets() const override { return true; }
    CellSetData RunCellSet(const std::string&, const std::string&, const std::string&) override {
        return Served();
    }
};

class CellSetFill : public ::testing::Test {
  protected:
    void SetUp() override {
        static const bool registered = [] {
            orvik::ProviderRegistry::Process().Register(std::make_shared<ServedCells>());
            return true;
        }();
        (void)registered;
        Report().StartNew();
        source_ = Report().NewDataSource("Cube");
        source_->tpDS.Value = "OLAP";
        sheet_ = Report().NewSheet("Sheet 1");
        sheet_->cDS.Value = "Cube";
        grid_.Sheet = sheet_;
        grid_.ForRun = &program_.Context();
    }

    CReport& Report() { return program_.Context().Report(); }
    // Runs the source against the served cell set `data` and fills the grid as a sheet is shown.
    void Show(CellSetData data) {
        Served() = std::move(data);
        source_->CellSet = std::make_unique<CADOMDCellSet>();
        source_->CellSet->Open("SELECT", "Provider=Orvik.TestCells");
        grid_.Fill();
    }
    std::string Text(int row, int column) const {
        return std::string(grid_.GetItemText(row, column));
    }
    COvInfoGCols* Definition(const std::string& key) const {
        for (const auto& column : sheet_->GridColumns)
            if (column->Key == key) return column.get();
        return nullptr;
    }

    TestProgram program_;
    COvInfoDS* source_ = nullptr;
    COvInfoSheet* sheet_ = nullptr;
    CGridBase grid_;
};

TEST_F(CellSetFill, TuplesBecomeHeaderRowsAndRowHeadersWithOuterRepeatsBlanked) {
    CellSetData data = YearsByRegions();
    data.Cells[6] = Number(std::numeric_limits<double>::infinity(), "1.#INF");
    data.Cells[7] = Number(std::numeric_limits<double>::quiet_NaN(), "-1#I,ND%");
    data.Cells[8] = {Variant::MakeString("n/a"), "n/a"};
    data.Cells[9] = {Variant(), ""};
    data.Cells[10] = {Variant::MakeI4(1234), ""};  // a provider that formats nothing
    Show(data);

    EXPECT_EQ(grid_.CellSetFlag, 1);
    ASSERT_EQ(grid_.GetColumnCount(), 6);
    ASSERT_EQ(grid_.GetRowCount(), 5);
    EXPECT_EQ(grid_.GetFixedRowCount(), 2);
    EXPECT_EQ(grid_.GetFixedColumnCount(), 2);
    const std::vector<std::string> yearRow = {"", "", "2024", "", "2025", ""};
    const std::vector<std::string> measureRow = {"", "", "Amount", "Qty", "Amount", "Qty"};
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(Text(0, c), yearRow[c]) << c;
        EXPECT_EQ(Text(1, c), measureRow[c]) << c;
    }
    EXPECT_EQ(Text(2, 0), "North");
    EXPECT_EQ(Text(3, 0), "");  // the same region again
    EXPECT_EQ(Text(4, 0), "South");
    EXPECT_EQ(Text(3, 1), "Clothing");
    EXPECT_EQ(Text(4, 1), "Bikes");  // inner captions always show

    EXPECT_EQ(Text(2, 2), "0.00");
    EXPECT_EQ(Text(2, 5), "3.00");
    EXPECT_EQ(Text(3, 2), "4.00");
    EXPECT_EQ(Text(4, 5), "11.00");
    EXPECT_EQ(Text(3, 4), "-");
    EXPECT_EQ(Text(3, 5), "-");
    EXPECT_EQ(Text(4, 2), "n/a");
    EXPECT_EQ(Text(4, 3), "");
    EXPECT_EQ(Text(4, 4), "1234");
    EXPECT_TRUE(grid_.IsItemRightAligned(3, 4));
    EXPECT_TRUE(grid_.IsItemRightAligned(4, 4));
    EXPECT_FALSE(grid_.IsItemRightAligned(4, 2));
    EXPECT_FALSE(grid_.IsItemRightAligned(2, 0));

    // Header row 0 carries the column definitions, counted with the row-header columns.
    EXPECT_EQ(Definition("0_0"), nullptr);
    ASSERT_NE(Definition("0_2"), nullptr);
    EXPECT_EQ(Definition("0_2")->ColN.Value, "2024");
    EXPECT_EQ(Definition("1_2"), nullptr);

    // The page spans a year over its measures and a region over its categories.
    std::string page;
    MakeSheetTable(grid_, 0, 0, page);
    EXPECT_NE(page.find("<TD class=sh0 colspan=\"2\">2024</TD><TD class=sh0 colspan=\"2\">2025"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("<TD class=sh0 rowspan=\"2\">North</TD><TD class=sh0>Bikes</TD>"),
              std::string::npos)
        << page;
}

TEST_F(CellSetFill, OneAxisIsOneRowAndNoAxisOneCell) {
    CellSetData data;
    data.Axes.resize(1);
    data.Axes[0].Positions = {Tuple({"Amount"}), Tuple({"Amount"}), Tuple({"Qty"})};
    data.Cells = {Number(1, "1.00"), Number(2, "2.00"), Number(3, "3")};
    Show(data);
    ASSERT_EQ(grid_.GetRowCount(), 2);
    EXPECT_EQ(grid_.GetFixedColumnCount(), 0);
    EXPECT_EQ(Text(0, 0), "Amount");
    EXPECT_EQ(Text(0, 1), "");
    EXPECT_EQ(Text(1, 2), "3");

    data.Axes.clear();
    data.Cells = {Number(42, "42")};
    Show(data);
    EXPECT_EQ(grid_.GetColumnCount(), 1);
    EXPECT_EQ(grid_.GetFixedRowCount(), 0);
    ASSERT_EQ(grid_.GetRowCount(), 1);
    EXPECT_EQ(Text(0, 0), "42");
}

TEST_F(CellSetFill, RenamesSurviveRerunsAndRefillsKeepTheHeader) {
    Show(YearsByRegions());
    Definition("0_4")->ColN.Value = "Amount 2025";
    Show(YearsByRegions());
    EXPECT_EQ(Text(0, 4), "Amount 2025");
    EXPECT_EQ(Text(0, 2), "2024");

    // A refill reads the new rows under the header as it stands; rows it no longer has go.
    grid_.SetItemText(1, 2, "Kept");
    CellSetData shorter = YearsByRegions();
    shorter.Axes[1].Positions.resize(1);
    shorter.Cells.resize(4);
    shorter.Cells[3] = Number(99, "99.00");
    Served() = shorter;
    grid_.CellSet->Open("SELECT", "Provider=Orvik.TestCells");
    grid_.RefreshRows();
    ASSERT_EQ(grid_.GetRowCount(), 3);
    EXPECT_EQ(Text(1, 2), "Kept");
    EXPECT_EQ(Text(2, 5), "99.00");

    // Appended rows start their own run of row captions.
    grid_.FillCellSet(1);
    ASSERT_EQ(grid_.GetRowCount(), 4);
    EXPECT_EQ(Text(3, 0), "North");
    EXPECT_EQ(Text(3, 5), "99.00");
}

TEST_F(CellSetFill, AskedMemberPropertiesStandBesideTheirHierarchysCaptions) {
    CellSetData data = YearsByRegions();
    CellSetAxis& rows = data.Axes[1];
    rows.Hierarchies = {{"[Region]", {{"Manager", "[Region].[Region].[Manager]"}}},
                        {"[Category]",
                         {{"Weight", "[Category].[Category].[Weight]", VariantType::R8},
                          {"PARENT_UNIQUE_NAME", "[Category].[PARENT_UNIQUE_NAME]"}}}};
    rows.Positions[0].Members.Edit(0).Properties = {{"Manager", Variant::MakeString("Ann")}};
    rows.Positions[0].Members.Edit(1).Properties = {
        {"Weight", Variant::MakeR8(2.5)}, {"PARENT_UNIQUE_NAME", Variant::MakeString("[All]")}};
    // The second row's category lacks Weight; the third row's region holds no manager.
    rows.Positions[1].Members.Edit(0).Properties = {{"Manager", Variant::MakeString("Ann")}};
    rows.Positions[1].Members.Edit(1).Properties = {
        {"PARENT_UNIQUE_NAME", Variant::MakeString("[All]")}};
    rows.Positions[2].Members.Edit(0).Properties = {{"Manager", Variant::MakeNull()}};
    Show(data);

    ASSERT_EQ(grid_.GetFixedColumnCount(), 5);
    ASSERT_EQ(grid_.GetColumnCount(), 9);
    const std::vector<std::string> titles = {"", "Manager", "", "Weight", "PARENT_UNIQUE_NAME"};
    const std::vector<std::string> first = {"North", "Ann", "Bikes", "2.50", "[All]", "0.00"};
    const std::vector<std::string> second = {"", "Ann", "Clothing", "", "[All]", "4.00"};
    for (int c = 0; c < 5; ++c) EXPECT_EQ(Text(1, c), titles[c]) << c;
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(Text(2, c), first[c]) << c;
        EXPECT_EQ(Text(3, c), second[c]) << c;
    }
    EXPECT_EQ(Text(4, 1), "");
    EXPECT_EQ(Text(4, 2), "Bikes");
    EXPECT_TRUE(grid_.IsItemRightAligned(2, 3));
    EXPECT_FALSE(grid_.IsItemRightAligned(2, 1));
    EXPECT_EQ(Text(0, 5), "2024");  // the data columns move right, headers with them
    EXPECT_EQ(Text(4, 8), "11.00");
}

TEST_F(CellSetFill, MalformedCellSetsNeitherCrashNorInvent) {
    CellSetData ragged = YearsByRegions();
    ragged.Axes[0].Positions[1].Members.resize(1);  // a tuple shorter than the first
    ragged.Axes[1].Positions[2].Members.clear();
    Show(ragged);
    EXPECT_EQ(Text(1, 3), "");
    EXPECT_EQ(Text(4, 0), "");
    EXPECT_EQ(Text(4, 1), "");
    EXPECT_EQ(Text(4, 2), "8.00");

    CellSetData missing = YearsByRegions();
    missing.Cells.resize(11);
    Served() = missing;
    source_->CellSet->Open("SELECT", "Provider=Orvik.TestCells");
    EXPECT_THROW(grid_.Fill(), CADOException);

    EXPECT_EQ(CellSetCellText("-1.#IND"), "-");
    EXPECT_EQ(CellSetCellText("1#I,NF%"), "-");
    EXPECT_EQ(CellSetCellText("1.#INFINITY"), "1.#INFINITY");
}

}  // namespace
}  // namespace orvik::test
