#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <regex>

#include "TestSupport.h"
#include "core/Paths.h"
#include "data/AdoDatabase.h"
#include "design/PageRefresh.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "model/ViewType.h"
#include "render/CssStyleSheet.h"
#include "render/GridViews.h"
#include "render/HtmlDocument.h"
#include "tasks/HtmlExport.h"
#include "tasks/ReportPage.h"

namespace orvik {
namespace {

class HtmlExportTest : public ::testing::Test {
  protected:
    HtmlExportTest() {
        Report().StartNew();
        const std::string database = program.Home().Path() + "shop.db";
        sqlite3* db = nullptr;
        sqlite3_open(database.c_str(), &db);
        sqlite3_exec(db,
                     "create table sales (region text, amount int);"
                     "insert into sales values ('North', 100), ('South', -50);",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
        COvInfoDS* ds = Report().NewDataSource("Sales");
        ds->DSN.Value = "Provider=SQLite;Data Source=" + database;
        ds->Qry.Value = "select region, amount from sales order by amount desc";
    }

    CReport& Report() { return program.Context().Report(); }

    COvInfoSheet& AddSheet(const char* name, bool visible = true) {
        COvInfoSheet* sheet = Report().NewSheet(name);
        sheet->cDS.Value = "Sales";
        sheet->bVis.Value = visible ? "1" : "0";
        CreateGridView(program.Context(), *sheet);  // run again now that the sheet names its source
        return *sheet;
    }

    COvInfoPrm& AddParam(const char* name, const char* value, bool visible = true) {
        Report().Params.push_back(
            std::make_unique<COvInfoPrm>(&program.Context().Registries(), GroupId::Param));
        COvInfoPrm& prm = *Report().Params.back();
        prm.Name.Value = name;
        prm.PrmVal.Value = value;
        prm.bVis.Value = visible ? "1" : "0";
        return prm;
    }

    COvInfoAct& Step(const char* type) {
        Report().Tasks.push_back(
            std::make_unique<COvInfoAct>(&program.Context().Registries(), GroupId::Task));
        COvInfoAct& step = *Report().Tasks.back();
        step.AType.Value = type;
        program.Context().Registries().PrepareNewCombo(step.AType, step.Props, true);
        return step;
    }

    std::string PageFile() {
        std::string bytes;
        ReadWholeFile(PageFilePath(program.Context()), bytes);
        return bytes;
    }

    test::TestProgram program;
};

TEST_F(HtmlExportTest, PlainPageStacksVisiblePiecesInsideTheFrame) {
    AddParam("Region", "North");
    AddParam("Hidden", "x", false);
    AddParam("Day", "2026-12-05").Tit.Value = "Up to";
    AddSheet("First");
    AddSheet("Invisible", false);

    ASSERT_EQ(DoExport(program.Context(), Step("HTML")), 1);
    const std::string page = PageFile();
    EXPECT_EQ(page.rfind("<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
                         "CHARSET=windows-1251\">\n<STYLE>.sh0 {",
                         0),
              0u)
        << page.substr(0, 200);
    EXPECT_NE(page.find(".sge1 {"), std::string::npos);  // styles of invisible sheets too
    const size_t panel0 = page.find("<TABLE id=OrvikParam0 border=0 cellspacing=0 cellpadding=5 >");
    const size_t panel2 = page.find("<TABLE id=OrvikParam2 ");
    const size_t sheet0 = page.find("<TABLE id=OrvikSheet0 ");
    ASSERT_NE(panel0, std::string::npos) << page;
    ASSERT_NE(panel2, std::string::npos);
    ASSERT_NE(sheet0, std::string::npos);
    EXPECT_LT(panel0, panel2);
    EXPECT_LT(panel2, sheet0);
    EXPECT_EQ(page.find("OrvikParam1"), std::string::npos);
    EXPECT_EQ(page.find("OrvikSheet1"), std::string::npos);
    EXPECT_NE(page.find(">Up to</TD>"), std::string::npos);
    EXPECT_NE(page.find("North"), std::string::npos);
    EXPECT_EQ(page.substr(page.size() - 14), "</BODY></HTML>");
    EXPECT_EQ(program.Context().Page.Text.size(),
              page.size());  // "HTML" keeps the page for the mail step

    ASSERT_EQ(DoExport(program.Context(), Step("HTMFile")), 1);
    EXPECT_EQ(PageFile(), page);
    EXPECT_TRUE(program.Context().Page.Text.empty());
}

TEST_F(HtmlExportTest, OtherTypesGatherPanelsOnlyAndWriteNothing) {
    AddParam("Region", "North");
    AddSheet("First");
    ASSERT_EQ(DoExport(program.Context(), Step("SMTP")), 1);
    EXPECT_FALSE(std::filesystem::exists(PageFilePath(program.Context())));
    EXPECT_NE(program.Context().Page.Text.find("OrvikParam0"), std::string::npos);
    EXPECT_EQ(program.Context().Page.Text.find("OrvikSheet0"), std::string::npos);
    EXPECT_EQ(program.Context().Page.Text.find("<HTML>"), std::string::npos);
}

TEST_F(HtmlExportTest, NoSheetsNoPage) {
    AddParam("Region", "North");
    EXPECT_EQ(DoExport(program.Context(), Step("HTML")), 0);
    EXPECT_FALSE(std::filesystem::exists(PageFilePath(program.Context())));
}

TEST_F(HtmlExportTest, APageThatDeclaresItsTypeAndHasNoStylesIsNotFramedAgain) {
    // A view type that makes its sheet's part itself, as a plug-in's does.
    struct Chart : orvik::ViewType {
        CGridView* MakeView(orvik::Run&, COvInfoSheet&) override { return nullptr; }
        bool RendersSheets() const override { return true; }
        orvik::SheetExport ExportSheet(orvik::Run&, COvInfoSheet&, COvInfoAct&,
                                       std::string& out) override {
            out = Part;
            return Answer;
        }
        std::string Part =
            "<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html\"></HEAD>"
            "<BODY>chart</BODY></HTML>";
        orvik::SheetExport Answer = orvik::SheetExport::Done;
    };
    auto chart = std::make_shared<Chart>();
    program.Context().Registries().Types.Views.Register("CHART", chart);
    COvInfoSheet& sheet = AddSheet("Chart");
    sheet.tpVW.Value = "CHART";
    DestroyGridView(sheet);
    ASSERT_EQ(DoExport(program.Context(), Step("HTML")), 1);
    EXPECT_EQ(program.Context().Page.Text.find("<HTML><HEAD>"), 0u);
    EXPECT_EQ(program.Context().Page.Text.find("<HTML>", 1), std::string::npos);

    chart->Answer = orvik::SheetExport::Refused;
    std::filesystem::remove(PageFilePath(program.Context()));
    EXPECT_EQ(DoExport(program.Context(), Step("HTML")), 0);  // a refusing type stops the export
    EXPECT_FALSE(std::filesystem::exists(PageFilePath(program.Context())));
}

TEST_F(HtmlExportTest, LayoutPagePlacesPiecesAndKeepsEverythingElse) {
    const std::string layout =
        "<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=windows-1251\">"
        "<STYLE>.sh0 {background-color:ffffff; color:red}</STYLE>"
        "<SCRIPT>if (a < b) document.write(\"</b>\");</SCRIPT></HEAD><BODY>\n"
        "<!-- header --><h1>Sales &amp; more</h1>\n"
        "<DIV id=OrvikParam0>p0</DIV><DIV id=OrvikParam1>stays</DIV>\n"
        "<DIV id=OrvikSheet0 style=\"WIDTH: 400px; HEIGHT: 200px\">s0</DIV>\n"
        "</BODY></HTML>";
    Report().ReportObject->GetPropByName("HTMLayout")->Value = layout;
    AddParam("Region", "North");
    AddParam("Hidden", "x", false);
    AddParam("Unplaced", "Zenith");
    COvInfoSheet& first = AddSheet("First");
    first.GetPropByName("hBC")->Value = "1,2,3";
    first.GetPropByName("bGCH")->Value = "0";
    CreateGridView(program.Context(), first);
    AddSheet("Second");

    ASSERT_EQ(DoExport(program.Context(), Step("HTML")), 1);
    const std::string page = PageFile();
    EXPECT_NE(page.find("<SCRIPT>if (a < b) document.write(\"</b>\");</SCRIPT>"),
              std::string::npos);
    EXPECT_NE(page.find("<!-- header --><h1>Sales &amp; more</h1>"), std::string::npos);
    EXPECT_NE(page.find("<DIV id=OrvikParam1>stays</DIV>"), std::string::npos);
    EXPECT_EQ(page.find(">p0</DIV>"), std::string::npos);
    EXPECT_NE(page.find("<TABLE style=\"WIDTH:400px; HEIGHT:200px\" id=OrvikSheet0 "),
              std::string::npos)
        << page;
    EXPECT_NE(page.find(".sh0 {background-color:#010203; color:red"), std::string::npos) << page;
    // The second sheet's gradient header reaches the layout's rules whole, with what today's
    // browsers draw beside the old FILTER.
    CHtmlDocument written(page);
    const CCssStyleSheet rules(written);
    EXPECT_EQ(rules.GetProperty(".sh1", "background-color"), "#c0c0c0");
    EXPECT_EQ(rules.GetProperty(".sh1", "background-image"),
              "linear-gradient(to right,#c0c0c0,#ffffff)");
    EXPECT_EQ(rules.GetProperty(".sh1", "border-width"), "1px");
    // Sheet 1 has no placeholder: its table follows the layout's content (and is there at all).
    const size_t unplaced = page.find("<TABLE id=OrvikSheet1 ");
    ASSERT_NE(unplaced, std::string::npos) << page;
    EXPECT_GT(unplaced, page.find("</BODY></HTML>"));
    // So does a parameter without one.
    const size_t parameter = page.find("Zenith");
    ASSERT_NE(parameter, std::string::npos) << page;
    EXPECT_GT(parameter, page.find("</BODY></HTML>"));
    EXPECT_EQ(page.find("<HTML><HEAD>", 1), std::string::npos);  // no second frame
}

// Browsers in standards mode and mail clients drop what old browsers forgave: colours without
// "#", bare lengths, attribute values with stray quotes, gradients only old browsers draw. The
// page, written whole or as it is made, has none of it anywhere.
TEST_F(HtmlExportTest, ThePageHoldsOnlyWhatTodaysBrowsersRead) {
    COvInfoPrm& regions = AddParam("Regions", "[North],[South]");
    regions.Type.Value = "DScmb";
    regions.GetPropByName("pGC")->Value = "1";
    COvInfoSheet& sheet = AddSheet("First");
    sheet.GetPropByName("bGCH")->Value = "1";
    sheet.GetPropByName("bGCG")->Value = "1";
    for (const auto& column : sheet.GridColumns) {
        if (column->Key != "0_1") continue;
        column->ColT.Value = "BT";  // the amounts as bars, one of them negative
        program.Context().Registries().ReplaceAppended(column->ColT, column->Props);
    }
    CreateGridView(program.Context(), sheet);

    program.Context().Page.WriteAsBuilt = true;
    ASSERT_EQ(DoExport(program.Context(), Step("HTML")), 1);
    ASSERT_TRUE(program.Context().Page.TextInFile) << "the page was not streamed";
    const std::string streamed = PageFile();
    program.Context().Page.WriteAsBuilt = false;
    ASSERT_EQ(DoExport(program.Context(), Step("HTML")), 1);
    const std::string page = PageFile();
    EXPECT_EQ(streamed, page);

    const auto count = [&](const char* pattern) {
        const std::regex expression(pattern, std::regex::icase);
        return std::distance(std::sregex_iterator(page.begin(), page.end(), expression),
                             std::sregex_iterator());
    };
    EXPECT_EQ(count("color:\\s*(?!#)[0-9a-f]{6}"), 0) << page;
    EXPECT_EQ(count("border-width:\\s*\\d+\\s*[;}']"), 0) << page;
    EXPECT_EQ(count("bgcolor=(?!\"(#[0-9a-f]{6}|gray)\")"), 0) << page;
    EXPECT_EQ(count("width=\\d+'"), 0) << page;
    EXPECT_EQ(count("bgcolor="), 2);
    // Each old gradient has its start colour and a gradient beside it: the header and both row
    // rules, and the panel's two cells.
    EXPECT_EQ(count("startColorStr=(#[0-9a-f]{6}),endColorStr=#ffffff\\); background-color:\\1; "
                    "background-image:linear-gradient\\(to right,\\1,#ffffff\\)"),
              5)
        << page;
    EXPECT_EQ(count("progid:"), 5);
    EXPECT_NE(page.find(">North, South</TD>"), std::string::npos) << page;
}

TEST_F(HtmlExportTest, TheDeclaredCharsetAlwaysMatchesTheBytes) {
    AddParam("Region", "Север");
    AddSheet("First");
    ASSERT_EQ(DoExport(program.Context(), Step("HTML")), 1);
    std::string page = PageFile();
    EXPECT_NE(page.find("CHARSET=windows-1251"), std::string::npos);
    EXPECT_NE(page.find("\xD1\xE5\xE2\xE5\xF0"), std::string::npos);  // "Север" in windows-1251

    // The page declares windows-1251 and keeps it: what the set lacks goes as a reference.
    Report().Params[0]->PrmVal.Value = "北 Север";
    ASSERT_EQ(DoExport(program.Context(), Step("HTML")), 1);
    page = PageFile();
    EXPECT_NE(page.find("CHARSET=windows-1251"), std::string::npos);
    EXPECT_EQ(page.find("UTF-8"), std::string::npos);
    EXPECT_NE(page.find(">&#21271; \xD1\xE5\xE2\xE5\xF0<"), std::string::npos);

    // A page without any declaration gets one for the bytes it is written in.
    EXPECT_NE(EncodePage("<HTML><HEAD></HEAD><BODY>x</BODY></HTML>").find("CHARSET=windows-1251"),
              std::string::npos);
    const std::string wide = EncodePage("<HTML><HEAD></HEAD><BODY>北 Север</BODY></HTML>");
    EXPECT_NE(wide.find("CHARSET=UTF-8\"><"), std::string::npos);
    EXPECT_NE(wide.find("北 Север"), std::string::npos);
    // One that declares a set of its own is written in UTF-8 and says so.
    EXPECT_EQ(EncodePage("<HTML><HEAD><META charset=koi8-r></HEAD><BODY>Север</BODY></HTML>"),
              "<HTML><HEAD><META charset=UTF-8></HEAD><BODY>Север</BODY></HTML>");
}

TEST_F(HtmlExportTest, AnUnwritablePageIsAnError) {
    AddSheet("First");
    program.Context().Registries().HtmlFolder = program.Home().Path() + "missing/folder/";
    ASSERT_EQ(DoExport(program.Context(), Step("HTML")), 1);
    ASSERT_FALSE(program.Front().Messages.empty());
    EXPECT_EQ(program.Front().Messages.back().Text,
              "Error write file " + program.Home().Path() +
                  "missing/folder/Orvik.htm ! (cannot create a file in its folder: No such file "
                  "or directory)");
    EXPECT_GT(program.Context().ErrorCount(), 0);
}

TEST_F(HtmlExportTest, RebuildRunsTheSourcesAgainAndShowsTheNewPage) {
    AddSheet("First");
    ASSERT_EQ(UpdateHTML(program.Context()), 1);
    EXPECT_EQ(PageFile().find("East"), std::string::npos);
    sqlite3* db = nullptr;
    sqlite3_open((program.Home().Path() + "shop.db").c_str(), &db);
    sqlite3_exec(db, "insert into sales values ('East', 7)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    // What the connection holds outlives the rebuild: the query runs again on it.
    Report().DataSources[0]->Connection->Execute("create temp table marker (x)");
    design::RebuildPage(program.Context());
    EXPECT_NE(PageFile().find("<TD>East</TD>"), std::string::npos);
    EXPECT_NO_THROW(Report().DataSources[0]->Connection->Execute("select x from marker"));
    std::string table;
    DoExportDS(Report(), *Report().Sheets[0], table);
    EXPECT_EQ(table.rfind("<TABLE id=OrvikSheet0 ", 0), 0u);
    EXPECT_NE(table.find("East"), std::string::npos);
}

}  // namespace
}  // namespace orvik
