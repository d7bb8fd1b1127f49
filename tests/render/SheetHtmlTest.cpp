// The sheet's part of the report page, checked to the byte: stored layouts, mail clients and
// pages compared against older output depend on these exact texts. Colours carry "#" and lengths
// their units, since browsers in standards mode (and mail clients) drop the bare ones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/AdoDatabase.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoGCols.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "render/GridBase.h"
#include "render/GridView.h"
#include "render/GridViews.h"
#include "render/HtmlColours.h"
#include "render/SheetHtml.h"

namespace orvik::test {
namespace {

class SheetHtml : public ::testing::Test {
  protected:
    void SetUp() override {
        program_.Home().Write("sheet.db", "");
        database_.Open("Provider=SQLite;Data Source=" + program_.Home().Path() + "sheet.db");
        Report().StartNew();
        source_ = Report().NewDataSource("Sales");
        source_->DSN.Value = "Provider=SQLite;Data Source=sheet.db";
        sheet_ = Report().NewSheet("Sheet 1");
        sheet_->cDS.Value = "Sales";
    }
    void TearDown() override { DestroyGridViews(Report()); }

    CReport& Report() { return program_.Context().Report(); }
    const std::string& Home() const { return program_.Home().Path(); }
    CGridView& Show(const std::string& query) {
        source_->Qry.Value = query;
        CGridView* view = CreateGridView(program_.Context(), *sheet_);
        EXPECT_NE(view, nullptr);
        return *view;
    }
    void Set(COvInfoObject& object, const char* key, const std::string& value) {
        COvInfoProp* prop = object.GetPropByName(key);
        ASSERT_NE(prop, nullptr) << key;
        prop->Value = value;
    }
    // Gives the column keyed "0_<column>" the type `type`, with the properties it brings in.
    COvInfoGCols& Type(int column, const std::string& type) {
        for (const auto& definition : sheet_->GridColumns) {
            if (definition->Key == "0_" + std::to_string(column)) {
                definition->ColT.Value = type;
                program_.Context().Registries().ReplaceAppended(definition->ColT,
                                                                definition->Props);
                return *definition;
            }
        }
        ADD_FAILURE() << "no definition for column " << column;
        return *sheet_->GridColumns.front();
    }
    // A grid of the sheet filled by hand, for shapes a SQL result never has.
    void Fill(CGridBase& grid, const std::vector<std::vector<std::string>>& rows, int fixedRows,
              int fixedColumns) {
        grid.Sheet = sheet_;
        grid.ForRun = &program_.Context();
        grid.SetColumnCount(static_cast<int>(rows.front().size()));
        grid.SetRowCount(static_cast<int>(rows.size()));
        grid.SetFixedRowCount(fixedRows);
        grid.SetFixedColumnCount(fixedColumns);
        for (size_t row = 0; row < rows.size(); ++row)
            for (size_t column = 0; column < rows[row].size(); ++column)
                grid.SetItemText(static_cast<int>(row), static_cast<int>(column),
                                 rows[row][column]);
        grid.AutoSize();
    }
    static std::string Table(const CGridBase& grid, int kpiFlag = 0) {
        std::string html;
        MakeSheetTable(grid, 0, kpiFlag, html);
        return html;
    }

    TestProgram program_;
    CADODatabase database_;
    COvInfoDS* source_ = nullptr;
    COvInfoSheet* sheet_ = nullptr;
};

const char* const kOpen =
    "<TABLE id=OrvikSheet0 border=0 cellspacing=0 cellpadding=5  class=sgo0>\n";

TEST_F(SheetHtml, StyleRulesFollowTheSheetsColoursFontsAndGradients) {
    CGridView& view = Show("SELECT 1 AS one");
    // The header's gradient: the old FILTER, then the start colour and the same fade for the
    // browsers and mail clients of today.
    EXPECT_EQ(view.GetStyle(0),
              ".sh0 {border-style:outset; border-width:1px; FILTER: "
              "progid:DXImageTransform.Microsoft.Gradient(gradientType=1,startColorStr=#c0c0c0,"
              "endColorStr=#ffffff); background-color:#c0c0c0; "
              "background-image:linear-gradient(to right,#c0c0c0,#ffffff); font:  10pt "
              "\"Arial\";}\n"
              ".sgo0 {background-color:#ffffff; font:  10pt \"Arial\";}\n"
              ".sge0 {background-color:#f0f0f0; font:  10pt \"Arial\";}\n");

    Set(*sheet_, "bGCH", "0");
    Set(*sheet_, "bGCG", "1");
    Set(*sheet_, "gBC", "240,236,0");  // even rows: 240 + 20 and 236 + 20 wrap round
    Set(*sheet_, "hF", "Times New Roman,110,BIUS,204,");
    Set(*sheet_, "gF", "Arial,80,-I,0,");
    view.OnRefreshRequest();
    EXPECT_EQ(view.GetStyle(3),
              ".sh3 {border-style:outset; border-width:1px; background-color:#c0c0c0; "
              "font:italic bold 11pt \"Times New Roman\"; text-decoration:underlineline-through;}\n"
              ".sgo3 {FILTER: progid:DXImageTransform.Microsoft.Gradient(gradientType=1,"
              "startColorStr=#f0ec00,endColorStr=#ffffff); background-color:#f0ec00; "
              "background-image:linear-gradient(to right,#f0ec00,#ffffff); font:italic  8pt "
              "\"Arial\";}\n"
              ".sge3 {FILTER: progid:DXImageTransform.Microsoft.Gradient(gradientType=1,"
              "startColorStr=#040014,endColorStr=#ffffff); background-color:#040014; "
              "background-image:linear-gradient(to right,#040014,#ffffff); font:italic  8pt "
              "\"Arial\";}\n");
}

TEST_F(SheetHtml, ColourAndFontConversions) {
    EXPECT_EQ(ColourTextToHex("0,255,0"), "00ff00");
    EXPECT_EQ(ColourTextToHex("1, 2 ,3"), "010203");
    EXPECT_EQ(ColourTextToHex("300,-4"), "ff0000");  // kept to what a browser can take
    EXPECT_EQ(ColourToHex(Rgb{18, 52, 86}), "123456");
    // Every whole point size comes back as itself.
    for (int points = 6; points <= 72; ++points) {
        const auto font = LogicalFontFromText("Arial," + std::to_string(points * 10));
        ASSERT_TRUE(font);
        EXPECT_EQ(FontToCss(*font), "font:  " + std::to_string(points) + "pt \"Arial\";");
    }
    EXPECT_FALSE(LogicalFontFromText(",100"));
    FontChoice underlined;
    underlined.Face = "Verdana";
    underlined.PixelHeight = -16;
    underlined.Underline = true;
    EXPECT_EQ(FontToCss(underlined), "font:  12pt \"Verdana\"; text-decoration:underline;");
}

TEST_F(SheetHtml, PlainTableAlternatesRowsAndWritesCellsUnescaped) {
    database_.Execute("CREATE TABLE s (id integer, name text, amount double)");
    database_.Execute(
        "INSERT INTO s VALUES (1, '<b>A</b>', 1234.5), (2, NULL, 0), (3, 'two words', -5)");
    Set(*sheet_, "Title", "Sales ~Dir~");
    CGridView& view = Show("SELECT id, name, amount FROM s ORDER BY id");
    std::string html = "before ";
    view.MakeHTML(html, 0);
    EXPECT_EQ(html, std::string("before ") + kOpen + "<CAPTION class=sh0>Sales " + Home() +
                        "</CAPTION>\n"
                        "<TR><TD class=sh0>id</TD><TD class=sh0>name</TD>"
                        "<TD class=sh0>amount</TD></TR>\n"
                        "<TR class=sge0><TD align=right>1</TD><TD><b>A</b></TD>"
                        "<TD align=right>1&nbsp;234.50</TD></TR>\n"
                        "<TR class=sgo0><TD align=right>2</TD><TD>&nbsp;</TD>"
                        "<TD align=right>0.00</TD></TR>\n"
                        "<TR class=sge0><TD align=right>3</TD><TD>two words</TD>"
                        "<TD align=right>-5.00</TD></TR>\n"
                        "</TABLE>\n");

    // A hidden column is nowhere; an empty border setting keeps the plain border.
    Set(*sheet_, "Title", "");
    Set(*sheet_, "bTB", "");
    view.GetGridCtrl()->SetColumnWidth(1, 0);
    html.clear();
    view.MakeHTML(html, 0, 2);
    EXPECT_EQ(html,
              "<TABLE id=OrvikSheet2 border=1 class=sgo2>\n"
              "<TR><TD class=sh2>id</TD><TD class=sh2>amount</TD></TR>\n"
              "<TR class=sge2><TD align=right>1</TD><TD align=right>1&nbsp;234.50</TD></TR>\n"
              "<TR class=sgo2><TD align=right>2</TD><TD align=right>0.00</TD></TR>\n"
              "<TR class=sge2><TD align=right>3</TD><TD align=right>-5.00</TD></TR>\n"
              "</TABLE>\n");

    CGridBase empty;
    EXPECT_EQ(Table(empty), "");  // no cells, no table
}

TEST_F(SheetHtml, BarsScaleBetweenTheColumnsExtremes) {
    database_.Execute("CREATE TABLE b (name text, value integer)");
    database_.Execute("INSERT INTO b VALUES ('down', -50), ('up', 100)");
    Show("SELECT name, value FROM b ORDER BY value");
    Type(1, "BT");
    CGridView& view = Show("SELECT name, value FROM b ORDER BY value");
    std::string html;
    view.MakeHTML(html, 0);
    EXPECT_EQ(html, std::string(kOpen) +
                        "<TR><TD class=sh0>name</TD><TD class=sh0>value</TD></TR>\n"
                        "<TR class=sge0><TD>down</TD>\n"
                        "<TD><TABLE cellpadding=0 cellspacing=0 border=0 WIDTH=210>"
                        "<TR class=sge0><TD Width=0></TD><TD bgcolor=\"#ff0000\" Width=50></TD>"
                        "<TD>&nbsp;-50</TD></TR></TABLE></TD></TR>\n"
                        "<TR class=sgo0><TD>up</TD>\n"
                        "<TD><TABLE cellpadding=0 cellspacing=0 border=0 WIDTH=210>"
                        "<TR class=sgo0><TD Width=50></TD><TD Width=100 bgcolor=\"#00ff00\"></TD>"
                        "<TD>&nbsp;100</TD></TR></TABLE></TD></TR>\n"
                        "</TABLE>\n");

    // Positive values only: scaled to the largest; the user's colour.
    database_.Execute("UPDATE b SET value = 30 WHERE name = 'down'");
    Set(Type(1, "BT"), "BCP", "0,0,255");
    Show("SELECT name, value FROM b ORDER BY value");
    html.clear();
    FindGridView(*sheet_)->MakeHTML(html, 0);
    EXPECT_NE(html.find("<TR class=sge0><TD Width=45 bgcolor=\"#0000ff\"></TD><TD>&nbsp;30</TD>"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find("<TD Width=150 bgcolor=\"#0000ff\"></TD><TD>&nbsp;100</TD>"),
              std::string::npos)
        << html;

    // Nothing but zeros: no extent to scale by, so bars of no width, not a division by zero.
    database_.Execute("UPDATE b SET value = 0");
    Show("SELECT name, value FROM b ORDER BY value");
    html.clear();
    FindGridView(*sheet_)->MakeHTML(html, 0);
    EXPECT_NE(html.find("<TD Width=0 bgcolor=\"#0000ff\"></TD><TD>&nbsp;0</TD>"), std::string::npos)
        << html;
    EXPECT_EQ(html.find("nan"), std::string::npos);
    EXPECT_EQ(html.find("inf"), std::string::npos);
}

TEST_F(SheetHtml, HeaderCellsSpanColumnsAndRowHeadersSpanRows) {
    CGridBase grid;
    Fill(grid,
         {{"", "2023", "", "", "2024"},
          {"", "Q1", "Q2", "Q3", "Q1"},
          {"North", "1", "2", "3", "4"},
          {"", "5", "6", "7", "8"},
          {"", "9", "10", "11", "12"},
          {"South", "13", "14", "15", "16"}},
         2, 1);
    EXPECT_EQ(Table(grid), std::string(kOpen) +
                               "<TR><TD class=sh0></TD><TD class=sh0 colspan=\"3\">2023</TD>"
                               "<TD class=sh0>2024</TD></TR>\n"
                               "<TR><TD class=sh0></TD><TD class=sh0>Q1</TD><TD class=sh0>Q2</TD>"
                               "<TD class=sh0>Q3</TD><TD class=sh0>Q1</TD></TR>\n"
                               "<TR class=sge0><TD class=sh0 rowspan=\"3\">North</TD><TD>1</TD>"
                               "<TD>2</TD><TD>3</TD><TD>4</TD></TR>\n"
                               "<TR class=sgo0><TD>5</TD><TD>6</TD><TD>7</TD><TD>8</TD></TR>\n"
                               "<TR class=sge0><TD>9</TD><TD>10</TD><TD>11</TD><TD>12</TD></TR>\n"
                               "<TR class=sgo0><TD class=sh0>South</TD><TD>13</TD><TD>14</TD>"
                               "<TD>15</TD><TD>16</TD></TR>\n"
                               "</TABLE>\n");

    // A hidden column under a span is not counted in it.
    grid.SetColumnWidth(2, 0);
    const std::string hidden = Table(grid);
    EXPECT_NE(hidden.find("<TD class=sh0 colspan=\"2\">2023</TD><TD class=sh0>2024</TD>"),
              std::string::npos)
        << hidden;
    EXPECT_NE(hidden.find("<TR class=sgo0><TD>5</TD><TD>7</TD><TD>8</TD></TR>"), std::string::npos)
        << hidden;
}

// Empty cells with nothing before them to span from are written, not dropped: a dropped cell
// would shift the rest of the row under the wrong heading.
TEST_F(SheetHtml, EmptyCellsThatNothingSpansAreStillWritten) {
    CGridBase grid;
    Fill(grid, {{"", "Sales", "", "Costs"}, {"", "1", "2", "3"}, {"West", "4", "5", "6"}}, 1, 1);
    EXPECT_EQ(Table(grid), std::string(kOpen) +
                               "<TR><TD class=sh0></TD><TD class=sh0 colspan=\"2\">Sales</TD>"
                               "<TD class=sh0>Costs</TD></TR>\n"
                               "<TR class=sge0><TD class=sh0>&nbsp;</TD><TD>1</TD><TD>2</TD>"
                               "<TD>3</TD></TR>\n"
                               "<TR class=sgo0><TD class=sh0>West</TD><TD>4</TD><TD>5</TD>"
                               "<TD>6</TD></TR>\n"
                               "</TABLE>\n");

    CGridBase flat;  // no fixed column: the first column spans like any other
    Fill(flat, {{"Sales", "", "Costs"}, {"", "Sales", ""}, {"1", "2", "3"}}, 2, 0);
    const std::string html = Table(flat);
    EXPECT_NE(html.find("<TR><TD class=sh0 colspan=\"2\">Sales</TD><TD class=sh0>Costs</TD>"
                        "</TR>\n<TR><TD class=sh0></TD><TD class=sh0 colspan=\"2\">Sales</TD>"
                        "</TR>\n"),
              std::string::npos)
        << html;
}

TEST_F(SheetHtml, KpiTablesGetFolderRowsAndStatusPictures) {
    COvInfoDS* kpi = Report().NewDataSource("Kpi");
    kpi->tpDS.Value = "KPI";
    CGridBase grid;
    Fill(
        grid,
        {{"Path", "Value", "Goal", "Weight", "Status", "Trend", "Owner", "Description",
          "StatusIcon", "TrendIcon", "Cube"},
         {"Finance\\Revenue", "1 200", "1 000", "2", "1", "-1", "Ann", "Revenue KPI",
          "Traffic_light", "Standard_arrow", "Sales"},
         {"Finance\\Costs", "9", "0", "3", "0", "1", "Bob", "Cost KPI", "Gauge", "Arrow", "Sales"}},
        1, 0);
    grid.DataSource = kpi;
    grid.SetColumnWidth(3, 0);
    const std::string images = Home() + "Images/";
    const std::string folder = "<TR bgcolor=\"gray\"><TD colspan=\"9\" align=\"left\">";
    EXPECT_EQ(
        Table(grid, 1),
        std::string(kOpen) +
            "<TR><TD class=sh0>Path</TD><TD class=sh0>Value</TD><TD class=sh0>Goal</TD>"
            "<TD class=sh0>Status</TD><TD class=sh0>Trend</TD><TD class=sh0>Owner</TD>"
            "<TD class=sh0>Description</TD><TD class=sh0>StatusIcon</TD>"
            "<TD class=sh0>TrendIcon</TD></TR>\n" +
            folder + "<img src=\"" + images + "folder.gif\">&nbsp;Finance</TD></TR>" + folder +
            "&nbsp;&nbsp;<img src=\"" + images + "folder.gif\">&nbsp;Revenue</TD></TR>" +
            "<TR class=sge0><TD>Finance\\Revenue</TD><TD align=right>1 200&nbsp;<img src=\"" +
            images + "kpi_icon.gif\"></TD><TD>1&nbsp;000</TD><TD align=center><img src=\"" +
            images + "Traffic_light2.gif\" alt=\"1\"><TD align=center><img src=\"" + images +
            "Standard_arrow0.gif\" alt=\"-1\"><TD>Ann</TD><TD align=center><img src=\"" + images +
            "info.gif\" alt=\"Revenue KPI\"><TD>Traffic_light</TD><TD>Standard_arrow</TD></TR>\n" +
            folder + "&nbsp;&nbsp;<img src=\"" + images + "folder.gif\">&nbsp;Costs</TD></TR>" +
            "<TR class=sgo0><TD>Finance\\Costs</TD><TD align=right>9&nbsp;<img src=\"" + images +
            "kpi_icon.gif\"></TD><TD>0</TD><TD align=center><img src=\"" + images +
            "Gauge1.gif\" alt=\"0\"><TD align=center><img src=\"" + images +
            "Arrow2.gif\" alt=\"1\"><TD>Bob</TD><TD align=center><img src=\"" + images +
            "info.gif\" alt=\"Cost KPI\"><TD>Gauge</TD><TD>Arrow</TD></TR>\n"
            "</TABLE>\n");
}

// Authors' markup stays wherever a text lands (title, headers, plain, numeric and KPI cells,
// folder rows); what a database value could run does not, and a quote cannot end an alt text.
TEST_F(SheetHtml, MarkupInTextsKeepsItsFormattingButNothingThatRuns) {
    Set(*sheet_, "Title", "Sales <script>alert(1)</script><b>~Dir~</b>");
    CGridBase grid;
    Fill(grid,
         {{"<i>Name</i><style>td{}</style>", "Amount"},
          {"<b>A</b><img src=x onerror=alert(1)>", "1 234<img/src=\"x\"/onerror=alert(1)>"},
          // The blanks turn into "&nbsp;" before the check, so it sees what the browser sees.
          {"x < 5 <a href=\"javascript:alert(1)\">go</a>", "1 2 <img src=x onerror=alert(1)>"}},
         1, 0);
    EXPECT_EQ(Table(grid),
              std::string(kOpen) + "<CAPTION class=sh0>Sales <b>" + Home() +
                  "</b></CAPTION>\n"
                  "<TR><TD class=sh0><i>Name</i></TD><TD class=sh0>Amount</TD></TR>\n"
                  "<TR class=sge0><TD><b>A</b><img src=x ></TD>"
                  "<TD>1&nbsp;234<img/src=\"x\"/></TD></TR>\n"
                  "<TR class=sgo0><TD>x < 5 <a >go</a></TD><TD>1&nbsp;2&nbsp;</TD></TR>\n"
                  "</TABLE>\n");

    Set(*sheet_, "Title", "");
    COvInfoDS* kpi = Report().NewDataSource("Kpi");
    kpi->tpDS.Value = "KPI";
    Fill(grid,
         {{"Path", "Value", "Goal", "Weight", "Status", "Trend", "Owner", "Description",
           "StatusIcon", "TrendIcon", "Cube"},
          {"<b>Fin</b><script>x</script>\\Rev", "1 200<img src=x onerror=alert(1)>", "1", "2", "1",
           "0", "Ann", "Say \"hi\" onerror=alert(1)", "Light\" onerror=\"alert(1)", "Arrow",
           "Sales"}},
         1, 0);
    grid.DataSource = kpi;
    const std::string html = Table(grid, 1);
    EXPECT_NE(html.find("folder.gif\">&nbsp;<b>Fin</b></TD></TR>"), std::string::npos) << html;
    EXPECT_NE(html.find("<TD align=right>1 200<img src=x >&nbsp;<img src="), std::string::npos)
        << html;
    EXPECT_NE(html.find("info.gif\" alt=\"Say &quot;hi&quot; onerror=alert(1)\">"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find("Light&quot; onerror=&quot;alert(1)2.gif\" alt=\"1\">"), std::string::npos)
        << html;
    EXPECT_EQ(html.find("<script"), std::string::npos) << html;
}

TEST_F(SheetHtml, PictureColumnsPickTheSeriesMemberForEachValue) {
    for (int number = 1; number <= 5; ++number)
        program_.Home().Write("pics/lvl" + std::to_string(number) + ".gif", "GIF89a");
    program_.Home().Write("pics/lvl_old.gif", "GIF89a");  // no member: not a number
    program_.Home().Write("pics/lvl9.png", "PNG");        // no member: other extension
    for (int number = 1; number <= 10; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "padded/p%02d.gif", number);
        program_.Home().Write(name, "GIF89a");
    }
    database_.Execute("CREATE TABLE p (v integer, w integer)");
    database_.Execute("INSERT INTO p VALUES (0, 0), (10, 10), (20, 20), (50, 50)");
    Show("SELECT v, w FROM p ORDER BY v");
    Set(Type(0, "GSP"), "SPF", "~Dir~pics/lvl1.gif");
    Set(Type(1, "GSP"), "SPF", "padded/p01.gif");
    CGridView& view = Show("SELECT v, w FROM p ORDER BY v");
    const std::string pics = Home() + "pics/";
    const std::string padded = Home() + "padded/";

    auto cells = [&view]() {
        std::string html;
        view.MakeHTML(html, 0);
        return html.substr(html.find("<TR class="));
    };
    // The default picture type shows the picture alone, as "Picture Only" does.
    EXPECT_EQ(cells(),
              "<TR class=sge0><TD align=center><img src=\"" + pics +
                  "lvl1.gif\" alt=\"0\"></TD><TD align=center><img src=\"" + padded +
                  "p01.gif\" alt=\"0\"></TD></TR>\n"
                  "<TR class=sgo0><TD align=center><img src=\"" +
                  pics + "lvl1.gif\" alt=\"10\"></TD><TD align=center><img src=\"" + padded +
                  "p02.gif\" alt=\"10\"></TD></TR>\n"
                  "<TR class=sge0><TD align=center><img src=\"" +
                  pics + "lvl2.gif\" alt=\"20\"></TD><TD align=center><img src=\"" + padded +
                  "p04.gif\" alt=\"20\"></TD></TR>\n"
                  "<TR class=sgo0><TD align=center><img src=\"" +
                  pics + "lvl5.gif\" alt=\"50\"></TD><TD align=center><img src=\"" + padded +
                  "p10.gif\" alt=\"50\"></TD></TR>\n"
                  "</TABLE>\n");

    COvInfoGCols& first = *sheet_->GridColumns.front();
    Set(first, "SPT", "GTSP");
    EXPECT_NE(cells().find("<TD align=right>20&nbsp;<img src=\"" + pics + "lvl2.gif\"></TD>"),
              std::string::npos);
    Set(first, "SPT", "GSPT");
    EXPECT_NE(cells().find("<TD><img src=\"" + pics + "lvl2.gif\">&nbsp;20</TD>"),
              std::string::npos);
    Set(first, "SPT", "GI");
    EXPECT_NE(cells().find("<TD align=center><img src=\"" + pics + "lvl1.gif\" alt=\"20\"><TD"),
              std::string::npos);

    // Without a series on disk the configured picture is all there is.
    Set(first, "SPT", "GPO");
    Set(first, "SPF", "nowhere/x3.gif");
    EXPECT_NE(
        cells().find("<TD align=center><img src=\"" + Home() + "nowhere/x3.gif\" alt=\"50\">"),
        std::string::npos);
}

TEST(CellNumber, ReadsTheLeadingWholeNumberIgnoringBlanks) {
    EXPECT_EQ(CellNumber("1 234.50"), 1234);
    EXPECT_EQ(CellNumber("-1 234"), -1234);
    EXPECT_EQ(CellNumber("12\xC2\xA0"
                         "345"),
              12345);
    EXPECT_EQ(CellNumber("  7 kg"), 7);
    EXPECT_EQ(CellNumber("kg 7"), 0);
    EXPECT_EQ(CellNumber(""), 0);
    EXPECT_EQ(CellNumber("99999999999"), 2147483647);
    EXPECT_EQ(CellNumber("-99999999999"), -2147483647 - 1);
}

}  // namespace
}  // namespace orvik::test

namespace orvik::test {
namespace {

// A table long enough to be written by two threads in alternating chunks must come out exactly as
// one thread writes it: every row once, in order, with its own row class.
TEST(SheetHtmlLargeTable, EveryRowOnceInOrderWithItsClass) {
    TestProgram program;
    constexpr int kRows = 20011;  // not a multiple of the chunk size
    CGridBase grid;
    grid.SetColumnCount(2);
    grid.SetRowCount(kRows + 1);
    grid.SetFixedRowCount(1);
    grid.SetItemText(0, 0, "name");
    grid.SetItemText(0, 1, "number");
    for (int row = 1; row <= kRows; ++row) {
        grid.SetItemText(row, 0, "r" + std::to_string(row));
        grid.SetItemText(row, 1, std::to_string(row * 7));
        grid.SetItemRightAligned(row, 1, true);
    }
    std::string page;
    MakeSheetTable(grid, 0, 0, page);

    ASSERT_GT(page.size(), 1000u) << page;
    size_t at = page.find("</TR>\n");  // after the header row
    ASSERT_NE(at, std::string::npos);
    at += 6;
    for (int row = 1; row <= kRows; ++row) {
        const std::string expected = std::string("<TR class=") + (row % 2 == 1 ? "sge0" : "sgo0") +
                                     "><TD>r" + std::to_string(row) + "</TD><TD align=right>" +
                                     std::to_string(row * 7) + "</TD></TR>\n";
        ASSERT_EQ(page.compare(at, expected.size(), expected), 0)
            << "row " << row << " reads " << page.substr(at, expected.size());
        at += expected.size();
    }
    EXPECT_EQ(page.substr(at), "</TABLE>\n");
}

}  // namespace
}  // namespace orvik::test
