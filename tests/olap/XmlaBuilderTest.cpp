// A report's OLAP sources read the same through the XMLA client as through the embedded engine:
// the engine is put behind a loopback XMLA server (its rowsets and cell sets written as a
// server writes them), and the same builder and typed-MDX sources are run unattended once with
// the engine's connection string and once with an MSOLAP string naming the server's address.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "TestSupport.h"
#include "XmlaGateway.h"
#include "app/ReportSession.h"
#include "olap/CubeEngine.h"
#include "persist/ReportLifecycle.h"

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
</Schema>)";

class XmlaBuilderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string database = program_.Home().Path() + "shop.db";
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, kFacts, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        engine_ = "Provider=Orvik.Cube;Data Source=" + database +
                  ";Catalog=" + program_.Home().Write("shop.xml", kSchema);
        // The server side has a connection of its own, as a server process would.
        served_ = OpenCubeConnection(engine_, program_.Home().Path());
        gateway_ = std::make_unique<XmlaGateway>(*served_, "Shop");
        peer_ = std::make_unique<XmlaPeer>(
            [this](const PeerRequest& request) { return gateway_->Reply(request); });
    }

    // The table the report's one OLAP source shows with `settings`, reached through `dsn`.
    std::string Table(const std::string& dsn, const std::string& settings) {
        program_.Context().BatchMode = true;
        const std::string report = program_.Home().Write(
            "shop.ovk", "<root><DS><Name>Shop</Name><tpDS>OLAP</tpDS><DSN>" + dsn + "</DSN>" +
                            settings + "</DS><ACT><Name>Daily</Name></ACT>" +
                            "<SHEET><Name>S</Name><cDS>Shop</cDS><tpVW>GRID</tpVW></SHEET></root>");
        InitOVK(program_.Context());
        ReportSession session(program_.Context());
        EXPECT_TRUE(session.Read(report));
        session.PrepareSheets();
        COvInfoDS& source = *program_.Context().Report().DataSources.at(0);
        std::string text;
        for (int col = 0; col < source.GetDSColCount(); ++col)
            text += (col ? "|" : "") + source.GetDSHeader(col);
        for (int row = 1; row <= source.GetDSRowCount(program_.Context()); ++row)
            for (int col = 0; col < source.GetDSColCount(); ++col)
                text += (col ? "|" : "\n") + source.GetDSTextRC(program_.Context(), row, col);
        return text;
    }

    std::string Server() const {
        return "Provider=MSOLAP.8;Data Source=" + peer_->Url() + ";Initial Catalog=Shop";
    }

    TestProgram program_;
    std::string engine_;
    std::shared_ptr<OlapConnection> served_;
    std::unique_ptr<XmlaGateway> gateway_;
    std::unique_ptr<XmlaPeer> peer_;
};

TEST_F(XmlaBuilderTest, BuilderAndTypedSourcesShowTheSameThroughTheServer) {
    const std::vector<std::string> sources = {
        // Built from stored choices: a filter, two measures beside the columns.
        "<bQ>0</bQ><nCube>Sales</nCube><MDXC>[Time].[Year]</MDXC><MDXR>[Gender].[Gender]</MDXR>"
        "<MDXD>[Measures].[Unit Sales]</MDXD><MDXD>[Measures].[Amount]</MDXD>"
        "<MDXF Filter=\"[Store].[USA]\">[Store].[Country]</MDXF>",
        "<bQ>0</bQ><nCube>Sales</nCube><MDXC>[Store].[City]</MDXC><MDXR>[Time].[Quarter]</MDXR>"
        "<MDXD>[Measures].[Amount]</MDXD>",
        // Typed MDX, with a crossjoin on rows and a slicer.
        "<bQ>1</bQ><nCube>Sales</nCube><Qry>select {[Measures].[Unit Sales]} on columns, "
        "crossjoin([Store].[Country].members, [Gender].[Gender].members) on rows from [Sales] "
        "where [Time].[1997]</Qry>",
    };
    for (const std::string& settings : sources) {
        const std::string direct = Table(engine_, settings);
        EXPECT_NE(direct.find('\n'), std::string::npos) << settings;
        EXPECT_EQ(Table(Server(), settings), direct) << settings;
    }
    EXPECT_EQ(program_.Context().ErrorCount(), 0) << program_.ReadLog();
    // The catalog came from the server's rowsets, the cells from its Execute.
    std::string kinds;
    for (const PeerRequest& request : peer_->Requests())
        if (request.Body.find("<EndSession") == std::string::npos)
            kinds += request.Body.find("<Execute") != std::string::npos ? "E" : "D";
    EXPECT_NE(kinds.find('D'), std::string::npos);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), 'E'), 3) << kinds;
}

}  // namespace
}  // namespace orvik::test
