// The catalog tree and the query builder against the embedded cube engine: a small shop cube (a
// SQLite file and a cube schema made by each test) browsed and queried through the builder, and
// builder reports run unattended, as a scheduler runs them.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/ReportSession.h"
#include "model/Registries.h"
#include "persist/ReportLifecycle.h"
#include "sources/CatalogTree.h"

namespace orvik::test {
namespace {

constexpr const char* kFacts = R"(
create table days (id integer primary key, y integer, q text);
insert into days values (1, 1997, 'Q1'), (2, 1997, 'Q2'), (3, 1998, 'Q1');
create table stores (id integer primary key, country text, city text);
insert into stores values (1, 'USA', 'Seattle'), (2, 'USA', 'Portland'), (3, 'Canada', 'Vancouver');
create table facts (day_id integer, store_id integer, gender text, units integer, amount real);
insert into facts values (1, 1, 'F', 10, 100.5), (1, 2, 'M', 5, 50), (2, 3, 'F', 7, 70),
                         (3, 1, 'M', 3, 30), (3, 3, 'F', 1, 10);
)";

// Time has no All member; Store and Gender have one.
constexpr const char* kSchema = R"(<Schema name="Shop"><Cube name="Sales"><Table name="facts"/>
  <Dimension name="Time" foreignKey="day_id"><Hierarchy hasAll="false" primaryKey="id">
    <Table name="days"/><Level name="Year" column="y" type="Numeric" uniqueMembers="true"/>
    <Level name="Quarter" column="q" uniqueMembers="false"/></Hierarchy></Dimension>
  <Dimension name="Store" foreignKey="store_id"><Hierarchy hasAll="true" primaryKey="id">
    <Table name="stores"/><Level name="Country" column="country" uniqueMembers="true"/>
    <Level name="City" column="city" uniqueMembers="false"/></Hierarchy></Dimension>
  <Dimension name="Gender"><Hierarchy hasAll="true">
    <Level name="Gender" column="gender" uniqueMembers="true"/></Hierarchy></Dimension>
  <Measure name="Unit Sales" column="units" aggregator="sum" formatString="#,###"/>
  <Measure name="Amount" column="amount" aggregator="sum" formatString="#,###.00"/></Cube>
<Cube name="Stock"><Table name="facts"/><Measure name="Units" column="units" aggregator="sum"/>
</Cube></Schema>)";

class CatalogTreeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string database = program_.Home().Path() + "shop.db";
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, kFacts, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        connection_ = "Provider=Orvik.Cube;Data Source=" + database +
                      ";Catalog=" + program_.Home().Write("shop.xml", kSchema);
    }

    CRegistries& Registries() { return program_.Context().Registries(); }

    // Reads a report whose one OLAP source has `settings` (its cube, builder elements, ...) and
    // runs it unattended.
    COvInfoDS& Run(const std::string& settings) {
        program_.Context().BatchMode = true;
        const std::string report = program_.Home().Write(
            "shop.ovk", "<root><DS><Name>Shop</Name><tpDS>OLAP</tpDS><DSN>" + connection_ +
                            "</DSN>" + settings + "</DS><ACT><Name>Daily</Name></ACT>" +
                            "<SHEET><Name>S</Name><cDS>Shop</cDS><tpVW>GRID</tpVW></SHEET></root>");
        InitOVK(program_.Context());
        ReportSession session(program_.Context());
        EXPECT_TRUE(session.Read(report));
        session.PrepareSheets();
        return *program_.Context().Report().DataSources.at(0);
    }

    // The source's result: a line of headers, then one line per row, cells joined by "|".
    std::string Table(COvInfoDS& source) {
        std::string text;
        for (int col = 0; col < source.GetDSColCount(); ++col)
            text += (col ? "|" : "") + source.GetDSHeader(col);
        for (int row = 1; row <= source.GetDSRowCount(program_.Context()); ++row) {
            for (int col = 0; col < source.GetDSColCount(); ++col) {
                char number[32];
                std::snprintf(number, sizeof number, "%g",
                              source.GetDSvarRC(program_.Context(), row, col).AsDouble());
                text += (col ? "|" : "\n") + (col < source.GetDSCol2Count()
                                                  ? source.GetDSTextRC(program_.Context(), row, col)
                                                  : number);
            }
        }
        return text;
    }

    std::vector<std::string> ListOf(const COvInfoProp* prop) {
        std::vector<std::string> names;
        for (const auto& entry : Registries().ComboValues)
            if (entry->Id == static_cast<int>(prop->ComboId)) names.push_back(entry->Name);
        return names;
    }

    std::string WorkFile(const std::string& name) {
        return ReadFileBytes(Registries().HtmlFolder + name);
    }

    // What was reported: message boxes, or the log in an unattended run.
    std::string Messages() {
        std::string text = program_.ReadLog();
        for (const RecordedMessage& message : program_.Front().Messages)
            text += message.Text + "\n";
        return text;
    }
    int Errors() { return program_.Context().ErrorCount(); }

    TestProgram program_;
    std::string connection_;
};

TEST_F(CatalogTreeTest, TheTreeShowsTheChosenCubeAndItsMenuPutsNodesOnAxes) {
    COvInfoDS& source = *program_.Context().Report().NewDataSource("Shop");
    source.tpDS.Value = "OLAP";
    Registries().ReplaceAppended(source.tpDS, source.Props);
    source.DSN.Value = connection_;
    source.GetPropByName("nCube")->Value = "Sales";
    ASSERT_EQ(source.OpenConnectDS(program_.Context(), true), 1) << Messages();
    CatalogTree& tree = *TreeBarOf(source);
    std::string outline;
    for (const auto& item : tree.Items()) {
        outline += std::to_string(item->Node.Id) + "<" + std::to_string(item->ParentId) + " " +
                   item->Caption + " " + item->Node.UniqueName + " ";
        for (const AxisMenuEntry& entry : tree.MenuFor(item->Node.Id)) outline += entry.Axis;
        outline += "\n";
    }
    EXPECT_EQ(outline,
              "1<0 Sales [Sales] \n2<1 Measures [Measures] \n"
              "3<2 Unit Sales [Measures].[Unit Sales] D\n4<2 Amount [Measures].[Amount] D\n"
              "5<1 Time [Time] \n6<5 Time [Time] RCF\n"
              "7<6 Year [Time].[Year] RCF\n8<6 Quarter [Time].[Quarter] RCF\n"
              "9<1 Store [Store] \n10<9 Store [Store] RCF\n11<10 (All) [Store].[(All)] RCF\n"
              "12<10 Country [Store].[Country] RCF\n13<10 City [Store].[City] RCF\n"
              "14<1 Gender [Gender] \n15<14 Gender [Gender] RCF\n"
              "16<15 (All) [Gender].[(All)] RCF\n17<15 Gender [Gender].[Gender] RCF\n");
    const COvInfoProp* nCube = source.GetPropByName("nCube");
    EXPECT_EQ(ListOf(nCube), (std::vector<std::string>{"Sales", "Stock"}));
    EXPECT_EQ(nCube->SelectedCombo, Registries().FindComboValue(nCube->ComboId, "Sales"));
    // Ids stand for the tree control's item handles: item, parent, caption.
    EXPECT_EQ(WorkFile("LastTree.txt").substr(0, 69),
              "0x00000001   0x00000000   Sales\r\n0x00000002   0x00000001   Measures\r\n");

    // Each choice adds or removes an axis property and runs the source again.
    EXPECT_FALSE(tree.AddToAxis(3, QueryAxis::Rows));  // a measure goes on data only
    EXPECT_FALSE(tree.AddToAxis(5, QueryAxis::Rows));  // a dimension goes nowhere
    ASSERT_TRUE(tree.AddToAxis(3, QueryAxis::Data));
    ASSERT_TRUE(tree.AddToAxis(7, QueryAxis::Rows));
    EXPECT_EQ(Table(source), "|Unit Sales\n1997|22\n1998|4");
    EXPECT_TRUE(tree.MenuFor(7)[0].Checked);
    EXPECT_TRUE(program_.Context().Report().Modified);
    EXPECT_TRUE(source.GetPropByName("MDXD")->IsReadOnly());
    const COvInfoProp* rows = source.GetPropByName("MDXR");
    EXPECT_EQ(rows->Kind, PropKind::Custom);
    EXPECT_EQ(rows->SelectedCombo, &tree.Find(7)->Node);
    const COvInfoProp copy = *rows;
    EXPECT_EQ(ListOf(&copy), (std::vector<std::string>{"[Time].[1997]", "[Time].[1998]"}));
    ASSERT_TRUE(tree.AddToAxis(7, QueryAxis::Rows));  // the same entry takes it off again
    EXPECT_EQ(source.GetPropByName("MDXR"), nullptr);
    EXPECT_TRUE(ListOf(&copy).empty());
    ASSERT_TRUE(tree.AddToAxis(7, QueryAxis::Rows));
    ASSERT_TRUE(tree.AddToAxis(7, QueryAxis::Columns));  // moved: off the rows, onto the columns
    EXPECT_EQ(source.GetPropByName("MDXR"), nullptr);
    ASSERT_TRUE(tree.AddToAxis(13, QueryAxis::Rows));
    ASSERT_TRUE(tree.Builder().SetMemberList(
        tree.Find(13)->Node, "[Store].[USA].[Seattle],[Store].[Canada].[Vancouver]"));
    EXPECT_EQ(Table(source), "|1997|1998\nVancouver|7|1\nSeattle|10|3");
    EXPECT_EQ(WorkFile("LastFilter.txt"),
              "0x00000003   [Measures].[Unit Sales]\t\t\r\n0x00000007   [Time].[Year]\t\t\r\n"
              "0x0000000D   [Store].[City]\t\t[Store].[USA].[Seattle],[Store].[Canada].[Vancouver]"
              "\r\n\r\nFilter = [Store].[USA].[Seattle],[Store].[Canada].[Vancouver]");

    // Another cube rebuilds the tree on the next run; the selection's properties stay.
    source.GetPropByName("nCube")->Value = "Stock";
    ASSERT_EQ(source.OpenRSDS(program_.Context()), 1);
    EXPECT_EQ(tree.Items().size(), 3u);
    EXPECT_TRUE(tree.Builder().Selection().empty());
    EXPECT_EQ(source.Get("MDXR"), "[Store].[City]");
    EXPECT_EQ(Errors(), 0) << Messages();
}

TEST_F(CatalogTreeTest, AStoredSelectionIsQueriedAndAnElementTheCubeLacksStaysStored) {
    COvInfoDS& source =
        Run("<bQ>0</bQ><nCube>Sales</nCube><Qry>replaced</Qry><MDXC>[Store].[Aisle]</MDXC>"
            "<MDXR>[Gender].[Gender]</MDXR><MDXR>[Measures].[Amount]</MDXR>"  // a measure is no row
            "<MDXD>[Measures].[Unit Sales]</MDXD><MDXF "
            "Filter=\"[Store].[USA]\">[Store].[Country]</MDXF>");
    EXPECT_EQ(source.Qry.Value,
              "with\nMember [Store].[Filter0] as 'Aggregate({[Store].[USA]})'\n"
              "Select \n{[Measures].[Unit Sales]} On Columns,\n"
              "Non Empty  {[Gender].[Gender].members} DIMENSION PROPERTIES MEMBER_NAME, "
              "PARENT_UNIQUE_NAME  On Rows\nFrom [Sales]\nWhere ([Store].[Filter0])");
    EXPECT_EQ(WorkFile("LastMDX.txt"), source.Qry.Value);
    // Time has no All member: its first year stands in when no axis names one.
    EXPECT_EQ(Table(source), "|Unit Sales\nF|10\nM|5");
    EXPECT_EQ(source.Get("MDXC"), "[Store].[Aisle]");
    // A restored element offers its level's members to choose from, when someone is there to.
    EXPECT_EQ(source.GetPropByName("MDXF")->ComboId, 0u);
    program_.Context().BatchMode = false;
    ASSERT_EQ(source.OpenConnectDS(program_.Context(), true), 1);
    EXPECT_EQ(ListOf(source.GetPropByName("MDXF")),
              (std::vector<std::string>{"[Store].[Canada]", "[Store].[USA]"}));
    EXPECT_NE(WorkFile("LastTree.txt").find("   [Store].[Country]   [Store].[USA]\r\n"),
              std::string::npos);
    EXPECT_EQ(Errors(), 0) << Messages();
}

TEST_F(CatalogTreeTest, MeasuresBesideRowsAndColumnsGoOnTheColumnsOrThePages) {
    EXPECT_EQ(Table(Run("<bQ>0</bQ><nCube>Sales</nCube><MDXC>[Time].[Year]</MDXC>"
                        "<MDXR>[Gender].[Gender]</MDXR><MDXD>[Measures].[Unit Sales]</MDXD>"
                        "<MDXD>[Measures].[Amount]</MDXD>")),
              "|1997 . Unit Sales|1997 . Amount|1998 . Unit Sales|1998 . Amount\n"
              "F|17|170.5|1|10\nM|5|50|3|30");
    // One measure goes on the pages, a third axis of one position.
    COvInfoDS& paged =
        Run("<bQ>0</bQ><nCube>Sales</nCube><MDXC>[Time].[Year]</MDXC><MDXR>[Gender].[Gender]</MDXR>"
            "<MDXD>[Measures].[Amount]</MDXD><MDXF "
            "Filter=\"[Store].[Canada]\">[Store].[Country]</MDXF>");
    EXPECT_NE(paged.Qry.Value.find("\n{[Measures].[Amount]} On Pages,\n"), std::string::npos);
    EXPECT_EQ(Table(paged), "|1997|1998\nF|70|10");
    EXPECT_EQ(Errors(), 0) << Messages();
}

TEST_F(CatalogTreeTest, ACubeTheCatalogLacksFailsABuilderSourceButNotATypedQuery) {
    COvInfoDS& typed =
        Run("<bQ>1</bQ><nCube>Returns</nCube>"
            "<Qry>select {[Measures].[Units]} on columns from [Stock]</Qry>");
    EXPECT_EQ(Table(typed), "\n26");  // one axis: no row headers, and column 0 has no header
    EXPECT_EQ(Errors(), 0) << Messages();

    COvInfoDS& builder =
        Run("<bQ>0</bQ><nCube>Returns</nCube><MDXD>[Measures].[Unit Sales]</MDXD>");
    EXPECT_EQ(builder.GetDSColCount(), 0);
    EXPECT_EQ(Errors(), 1);
    EXPECT_NE(Messages().find("UxError: "), std::string::npos);
    EXPECT_NE(Messages().find("'Returns'"), std::string::npos) << Messages();
    EXPECT_EQ(builder.Get("nCube"), "Returns");

    // Nor can a builder query be made where there is no catalog at all.
    connection_ = "Provider=SQLite;Data Source=" + program_.Home().Path() + "shop.db";
    EXPECT_EQ(
        Run("<bQ>0</bQ><nCube>Sales</nCube><MDXD>[Measures].[Unit Sales]</MDXD>").GetDSColCount(),
        0);
    EXPECT_EQ(Errors(), 2);
    EXPECT_NE(Messages().find("Provider cannot be found"), std::string::npos) << Messages();
}

}  // namespace
}  // namespace orvik::test
