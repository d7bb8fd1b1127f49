// The chart plug-in as the program meets it: the built Chart.rll loaded from the program folder,
// sheets of its view type on a real SQLite file, the page written by the HTML step, and the SVG
// on it read back with an XML parser.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "core/Paths.h"
#include "model/OvInfoAct.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoSheet.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "plugin/PlugInLoader.h"
#include "render/GridViews.h"
#include "tasks/HtmlExport.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;

// One SVG element as the parser read it.
struct Element {
    std::string Name;
    std::string Class;
    std::string Text;
    xmlNode* Node = nullptr;
};

// The SVG of a page, parsed; empty when the page holds none or it is not well-formed XML.
class Svg {
  public:
    explicit Svg(const std::string& page) {
        const size_t start = page.find("<svg");
        const size_t end = page.find("</svg>", start);
        if (start == std::string::npos || end == std::string::npos) return;
        const std::string text = page.substr(start, end + 6 - start);
        // The page is written in windows-1251 whenever its text fits that, as it says in its head.
        const bool legacy = page.find("windows-1251") != std::string::npos;
        doc_ = xmlReadMemory(text.data(), static_cast<int>(text.size()), "chart.svg",
                             legacy ? "windows-1251" : "UTF-8",
                             XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (doc_) Collect(xmlDocGetRootElement(doc_));
    }
    ~Svg() {
        if (doc_) xmlFreeDoc(doc_);
    }
    Svg(const Svg&) = delete;
    Svg& operator=(const Svg&) = delete;

    bool WellFormed() const { return doc_ != nullptr; }
    std::string RootAttribute(const char* name) const { return Attribute(Elements[0].Node, name); }
    int Count(const std::string& name, const std::string& cls) const {
        int count = 0;
        for (const Element& e : Elements) count += e.Name == name && e.Class == cls;
        return count;
    }
    bool HasText(const std::string& text) const {
        for (const Element& e : Elements) {
            if (e.Text == text) return true;
        }
        return false;
    }
    std::vector<const Element*> All(const std::string& cls) const {
        std::vector<const Element*> found;
        for (const Element& e : Elements) {
            if (e.Class == cls) found.push_back(&e);
        }
        return found;
    }
    static std::string Attribute(xmlNode* node, const char* name) {
        xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
        std::string text = value ? reinterpret_cast<const char*>(value) : "";
        xmlFree(value);
        return text;
    }
    static double Number(xmlNode* node, const char* name) {
        return std::atof(Attribute(node, name).c_str());
    }

    std::vector<Element> Elements;

  private:
    void Collect(xmlNode* node) {
        for (; node; node = node->next) {
            if (node->type != XML_ELEMENT_NODE) continue;
            Element e;
            e.Name = reinterpret_cast<const char*>(node->name);
            e.Class = Attribute(node, "class");
            e.Node = node;
            for (xmlNode* child = node->children; child; child = child->next) {
                if (child->type == XML_TEXT_NODE && child->content)
                    e.Text += reinterpret_cast<const char*>(child->content);
            }
            Elements.push_back(e);
            Collect(node->children);
        }
    }

    xmlDoc* doc_ = nullptr;
};

class ChartPlugInTest : public ::testing::Test {
  protected:
    ChartPlugInTest() {
        Report().StartNew();
        fs::copy_file(ORVIK_CHART_PLUGIN, program.Home().Path() + "Chart.rll",
                      fs::copy_options::overwrite_existing);
        LoadPlugIns(program.Context());
        const std::string database = program.Home().Path() + "shop.db";
        sqlite3* db = nullptr;
        sqlite3_open(database.c_str(), &db);
        sqlite3_exec(db,
                     "create table sales (region text, units text, margin real, note text);"
                     "insert into sales values ('<script>alert(1)</script>', '1 200', 550.5, 'a'),"
                     " ('Fish & \"Chips\" ''Ltd''', '2\xC2\xA0"
                     "400', -800, 'b'),"
                     " ('A region whose name goes on and on past any label', '', 700, 'c');",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
        dsn_ = "Provider=SQLite;Data Source=" + database;
    }

    CReport& Report() { return program.Context().Report(); }

    void AddSource(const char* name, const char* query) {
        COvInfoDS* ds = Report().NewDataSource(name);
        ds->DSN.Value = dsn_;
        ds->Qry.Value = query;
    }

    COvInfoSheet& AddChart(const char* source, const char* type) {
        COvInfoSheet* sheet = Report().NewSheet("Chart");
        sheet->cDS.Value = source;
        sheet->tpVW.Value = "CHART";
        program.Context().Registries().PrepareNewCombo(sheet->tpVW, sheet->Props, true);
        if (COvInfoProp* kind = sheet->GetPropByName("ChartType")) kind->Value = type;
        CreateGridView(program.Context(), *sheet);
        return *sheet;
    }

    std::string ExportPage() {
        Report().Tasks.push_back(
            std::make_unique<COvInfoAct>(&program.Context().Registries(), GroupId::Task));
        COvInfoAct& step = *Report().Tasks.back();
        step.AType.Value = "HTML";
        program.Context().Registries().PrepareNewCombo(step.AType, step.Props, true);
        EXPECT_EQ(DoExport(program.Context(), step), 1);
        std::string bytes;
        ReadWholeFile(PageFilePath(program.Context()), bytes);
        return bytes;
    }

    test::TestProgram program;
    std::string dsn_;
};

TEST_F(ChartPlugInTest, BarsStandOnTheZeroLineAndDataStaysText) {
    AddSource("Sales", "select region, units, margin, note from sales order by rowid");
    COvInfoSheet& sheet = AddChart("Sales", "bar");
    ASSERT_NE(sheet.OwnedView, nullptr);  // the plug-in made the sheet's view
    sheet.GetPropByName("Title")->Value = "Units <b>&</b> margin";
    const std::string page = ExportPage();
    EXPECT_NE(page.find("<DIV id=OrvikSheet0 class="), std::string::npos) << page.substr(0, 300);

    const Svg svg(page);
    ASSERT_TRUE(svg.WellFormed()) << page;
    // Grouping spaces and a non-breaking one still make numbers; the text column is no series;
    // the empty cell draws no bar.
    EXPECT_EQ(svg.Count("rect", "bar"), 5);
    EXPECT_TRUE(svg.HasText("units"));
    EXPECT_TRUE(svg.HasText("margin"));
    EXPECT_FALSE(svg.HasText("note"));
    EXPECT_EQ(svg.Count("rect", "legend"), 2);
    EXPECT_EQ(svg.RootAttribute("width"), "640");

    // Markup in data and title arrives as the very text, never as elements.
    for (const Element& e : svg.Elements) {
        EXPECT_NE(e.Name, "script");
        EXPECT_NE(e.Name, "b");
    }
    EXPECT_TRUE(svg.HasText("<script>alert(1)</script>"));
    EXPECT_TRUE(svg.HasText("Units <b>&</b> margin"));
    EXPECT_TRUE(svg.HasText("<script>alert(1)</script> \xE2\x80\x94 units: 1 200"));
    EXPECT_TRUE(svg.HasText("Fish & \"Chips\" 'Ltd' \xE2\x80\x94 margin: -800"));
    bool cut = false;
    for (const Element* label : svg.All("category"))
        cut = cut || label->Text.find("\xE2\x80\xA6") != std::string::npos;
    EXPECT_TRUE(cut) << "the long region name is cut";

    // The zero line is where a positive bar ends and a negative one starts.
    const auto zero = svg.All("zero");
    ASSERT_EQ(zero.size(), 1u);
    const double y0 = Svg::Number(zero[0]->Node, "y1");
    int below = 0;
    for (const Element* bar : svg.All("bar")) {
        const double top = Svg::Number(bar->Node, "y");
        const double bottom = top + Svg::Number(bar->Node, "height");
        if (std::abs(top - y0) < 0.01 && bottom > y0 + 1)
            ++below;
        else
            EXPECT_NEAR(bottom, y0, 0.01);
    }
    EXPECT_EQ(below, 1);
}

TEST_F(ChartPlugInTest, LinesAndPie) {
    AddSource("Sales", "select region, units, margin from sales order by rowid");
    COvInfoSheet& sheet = AddChart("Sales", "line");
    {
        const Svg svg(ExportPage());
        ASSERT_TRUE(svg.WellFormed());
        EXPECT_EQ(svg.Count("polyline", "line"), 2);
        EXPECT_EQ(svg.Count("circle", "point"), 5);
        EXPECT_EQ(svg.Count("rect", "bar"), 0);
    }
    sheet.GetPropByName("ChartType")->Value = "pie";
    {
        // The first series only: 1200 and 2400 of 3600, the empty cell left out.
        const Svg svg(ExportPage());
        ASSERT_TRUE(svg.WellFormed());
        EXPECT_EQ(svg.Count("path", "slice"), 2);
        EXPECT_TRUE(svg.HasText("33.3%"));
        EXPECT_TRUE(svg.HasText("66.7%"));
        EXPECT_TRUE(svg.HasText("Fish & \"Chips\" 'Ltd' 66.7%"));
    }
}

TEST_F(ChartPlugInTest, NotesWhereThereIsNothingToDraw) {
    AddSource("Words", "select region, note from sales");
    AddSource("Nothing", "select region, units from sales where 0");
    AddChart("Words", "bar");
    AddChart("Nothing", "bar");
    AddChart("", "bar");
    const std::string page = ExportPage();
    for (const char* note :
         {"No numeric column to chart.", "No rows to chart.", "No data source."}) {
        const size_t at = page.find(note);
        ASSERT_NE(at, std::string::npos) << note;
        const Svg svg(page.substr(page.rfind("<DIV", at)));
        EXPECT_TRUE(svg.WellFormed()) << note;
        EXPECT_EQ(svg.Count("rect", "bar"), 0) << note;
    }
}

TEST_F(ChartPlugInTest, ManyCategoriesAreCappedAndAPlaceholderSizesTheChart) {
    AddSource("Days",
              "with recursive n(i) as (select 1 union all select i + 1 from n where i < 250) "
              "select 'day ' || i, i * 10 from n");
    COvInfoSheet& sheet = AddChart("Days", "bar");
    Report().ReportObject->GetPropByName("HTMLayout")->Value =
        "<HTML><BODY><DIV id=OrvikSheet0 style=\"WIDTH: 500px; HEIGHT: 240px\"></DIV>"
        "</BODY></HTML>";
    const std::string page = ExportPage();
    const Svg svg(page);
    ASSERT_TRUE(svg.WellFormed());
    EXPECT_EQ(svg.Count("rect", "bar"), 200);
    EXPECT_TRUE(svg.HasText("first 200 of 250"));
    EXPECT_EQ(svg.RootAttribute("viewBox"), "0 0 500 240");
    EXPECT_EQ(svg.RootAttribute("width"), "100%");
    EXPECT_NE(page.find("<DIV style=\"WIDTH:500px; HEIGHT:240px\" id=OrvikSheet0 "),
              std::string::npos);

    // A pie of them keeps the eleven largest slices and gives the rest one.
    sheet.GetPropByName("ChartType")->Value = "pie";
    const Svg pie(ExportPage());
    ASSERT_TRUE(pie.WellFormed());
    EXPECT_EQ(pie.Count("path", "slice"), 12);
    EXPECT_TRUE(pie.HasText("Other (189) 89.3%"));
    EXPECT_TRUE(pie.HasText("day 200 1.0%"));
}

}  // namespace
}  // namespace orvik
