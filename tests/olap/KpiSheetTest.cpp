// A KPI sheet of a report, filled through the embedded cube engine and through the XMLA client
// from a loopback server answering with the same engine: the rows and their tree order, what
// the queries and the rowset request look like on the wire, and the failures the fill reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "KpiShop.h"
#include "TestSupport.h"
#include "XmlaGateway.h"
#include "app/ReportSession.h"
#include "model/OvInfoSheet.h"
#include "model/Report.h"
#include "olap/CubeEngine.h"
#include "persist/ReportLifecycle.h"
#include "render/GridBase.h"
#include "render/GridView.h"
#include "render/GridViews.h"
#include "render/KpiFill.h"

namespace orvik::test {
namespace {

// A number as the grid shows it.
std::string Number(double value) {
    return VariantToText(Variant::MakeR8(value));
}

class KpiSheet : public ::testing::Test {
  protected:
    void SetUp() override { StartServer(""); }

    void StartServer(const std::string& extraKpis) {
        peer_.reset();
        gateway_.reset();
        // A folder of its own: connections are shared by connection string.
        folder_ = std::make_unique<TempDir>();
        shop_ = std::make_unique<KpiShop>(*folder_, extraKpis);
        served_ = OpenCubeConnection(shop_->Connection(), program_.Home().Path());
        gateway_ = std::make_unique<XmlaGateway>(*served_, "KpiShop");
        peer_ = std::make_unique<XmlaPeer>(
            [this](const PeerRequest& request) { return gateway_->Reply(request); });
    }

    // The KPI sheet of cube `cube` through `dsn`: every cell of its grid (hidden columns too),
    // "|" between cells, a line per row.
    std::string Grid(const std::string& dsn, const std::string& cube = "Sales") {
        program_.Context().BatchMode = true;
        const std::string report = program_.Home().Write(
            "kpi.ovk", "<root><DS><Name>K</Name><tpDS>KPI</tpDS><DSN>" + dsn + "</DSN><Qry>" +
                           cube + "</Qry></DS><ACT><Name>Daily</Name></ACT>" +
                           "<SHEET><Name>S</Name><cDS>K</cDS><tpVW>GRID</tpVW></SHEET></root>");
        InitOVK(program_.Context());
        session_ = std::make_unique<ReportSession>(program_.Context());
        EXPECT_TRUE(session_->Read(report));
        session_->PrepareSheets();
        const CGridView* view = FindGridView(*program_.Context().Report().Sheets.at(0));
        if (!view) return "<no view>";
        grid_ = view->GetGridCtrl();
        std::string text;
        for (int row = 0; row < grid_->GetRowCount(); ++row)
            for (int col = 0; col < grid_->GetColumnCount(); ++col)
                text += std::string(col   ? "|"
                                    : row ? "\n"
                                          : "") +
                        std::string(grid_->GetItemText(row, col));
        return text;
    }

    std::string Server() const {
        return "Provider=XMLA;Data Source=" + peer_->Url() + ";Initial Catalog=KpiShop";
    }

    TestProgram program_;
    std::unique_ptr<TempDir> folder_;
    std::unique_ptr<KpiShop> shop_;
    std::shared_ptr<OlapConnection> served_;
    std::unique_ptr<XmlaGateway> gateway_;
    std::unique_ptr<XmlaPeer> peer_;
    std::unique_ptr<ReportSession> session_;
    const CGridBase* grid_ = nullptr;
};

TEST_F(KpiSheet, TheKpisOfTheCubeAreListedAsATreeThroughEitherProvider) {
    const std::string direct = Grid(shop_->Connection());
    const double amount = shop_->Sql("SELECT sum(amount) FROM sales");
    const double target = shop_->Sql("SELECT sum(target) FROM sales");
    const double margin = amount - shop_->Sql("SELECT sum(cost) FROM sales");
    const double growth = shop_->Sql(
        "SELECT (SELECT sum(amount) FROM sales WHERE year = 2024) / "
        "(SELECT sum(amount) FROM sales WHERE year = 2023) - 1");
    const std::string expected =
        "KPI_Path|KPI_Name|KPI_Value|KPI_Goal|KPI_Status|KPI_Trend|KPI_Weight|KPI_Desc|"
        "KPI_Status_Ind|KPI_Trend_Ind|KPI_Parent|KPI_ParLevel\n"
        // Folders in order; a KPI's children right after it, one level down. Margin's value
        // ends in a bare measure name, which would run into the next "member" without a blank.
        "Profit|Margin \"gross\"|" +
        Number(margin) + "||||2||||Profit/Margin \"gross\"|0\n" + "Sales|Revenue|" +
        Number(amount) + "|" + Number(target) + "|" +
        Number(amount >= target         ? 1
               : amount >= 0.9 * target ? 0
                                        : -1) +
        "|" + Number(1) +
        "|1|Sales against the target|Traffic_light|Standard_arrow|Sales/Revenue|0\n" +
        "Sales|Growth|" + Number(growth) + "|" + Number(0.05) + "|" +
        Number(growth >= 0.05 ? 1 : -1) + "||||Gauge||Sales/Revenue/Growth|1";
    EXPECT_EQ(direct, expected);
    ASSERT_NE(grid_, nullptr);
    for (int hidden : {0, 8, 9, 10, 11}) EXPECT_EQ(grid_->GetColumnWidth(hidden), 0) << hidden;
    EXPECT_GT(grid_->GetColumnWidth(1), 0);
    EXPECT_EQ(program_.Context().ErrorCount(), 0) << program_.ReadLog();

    EXPECT_EQ(Grid(Server()), direct);
    EXPECT_EQ(program_.Context().ErrorCount(), 0) << program_.ReadLog();
    // The rowset was asked for this cube only, and each KPI ran as one flattened query in which
    // no expression touches the next definition.
    int discovers = 0, executes = 0;
    for (const PeerRequest& request : peer_->Requests()) {
        const AskedRequest asked = ReadRequest(request.Body);
        if (asked.Execute) {
            ++executes;
            EXPECT_EQ(asked.Properties.at("Format"), "Tabular");
            EXPECT_EQ(asked.Statement.find("member KPI_Goal"),
                      asked.Statement.find(" member KPI_Goal") + 1);
            EXPECT_NE(asked.Statement.find("From [Sales]"), std::string::npos);
        } else if (asked.RequestType == "MDSCHEMA_KPIS") {
            ++discovers;
            EXPECT_NE(std::find(asked.Restrictions.begin(), asked.Restrictions.end(),
                                std::pair<std::string, std::string>("CUBE_NAME", "Sales")),
                      asked.Restrictions.end())
                << request.Body;
        }
    }
    EXPECT_EQ(discovers, 1);
    EXPECT_EQ(executes, 3);
}

TEST_F(KpiSheet, AnotherCubeShowsItsOwnKpisAndACubeWithoutKpisSaysSo) {
    const std::string returns = Grid(shop_->Connection(), "Returns");
    EXPECT_NE(returns.find("\nQuality|Return rate|"), std::string::npos) << returns;
    EXPECT_EQ(std::count(returns.begin(), returns.end(), '\n'), 1) << returns;
    EXPECT_EQ(Grid(Server(), "Returns"), returns);

    program_.Front().Messages.clear();
    EXPECT_EQ(Grid(shop_->Connection(), "Plain"), "");
    ASSERT_FALSE(program_.Front().Messages.empty());
    EXPECT_EQ(program_.Front().Messages.back().Text, "ColCount = 0 ?!?");
}

TEST_F(KpiSheet, AServerThatIgnoresTheRestrictionStillShowsOnlyTheCubesKpis) {
    const std::string direct = Grid(shop_->Connection());
    // This server answers the KPI rowset with every cube's KPIs.
    peer_ = std::make_unique<XmlaPeer>([this](const PeerRequest& request) {
        PeerRequest unrestricted = request;
        const std::string restriction = "<CUBE_NAME>Sales</CUBE_NAME>";
        if (const size_t at = unrestricted.Body.find(restriction); at != std::string::npos)
            unrestricted.Body.erase(at, restriction.size());
        return gateway_->Reply(unrestricted);
    });
    EXPECT_EQ(Grid(Server()), direct);
    EXPECT_EQ(direct.find("Return rate"), std::string::npos);
    EXPECT_EQ(program_.Context().ErrorCount(), 0) << program_.ReadLog();
}

TEST_F(KpiSheet, AFailingKpiIsReportedAndEndsTheFillWithTheRowsSoFar) {
    StartServer(
        "<Kpi name=\"Missing\" displayFolder=\"A\"><Value>[Measures].[Nothing]</Value>"
        "</Kpi><Kpi name=\"After\"><Value>1</Value></Kpi>");
    for (const std::string& dsn : {shop_->Connection(), Server()}) {
        const int errors = program_.Context().ErrorCount();
        const std::string grid = Grid(dsn);
        EXPECT_EQ(program_.Context().ErrorCount(), errors + 1) << dsn;
        // The three KPIs before it stay, unordered; the one after it is never run.
        EXPECT_EQ(std::count(grid.begin(), grid.end(), '\n'), 3) << grid;
        EXPECT_EQ(grid.find("After"), std::string::npos) << grid;
        const std::string log = program_.ReadLog();
        EXPECT_NE(log.find("[Measures].[Nothing]"), std::string::npos) << log;
        EXPECT_NE(log.find("member KPI_Value as [Measures].[Nothing] member"), std::string::npos);
    }
}

TEST(KpiTree, ChildrenFollowTheirParentsAtAnyDepthAndLoopsEnd) {
    CGridBase grid;
    grid.SetColumnCount(12);
    grid.SetFixedRowCount(1);
    grid.SetRowCount(1);
    const char* const rows[][3] = {
        {"F", "Leaf", "Middle"}, {"F", "Top", ""}, {"F", "Middle", "Top"}, {"F", "Alpha", ""},
        {"E", "Solo", ""},       {"F", "A", "B"},  {"F", "B", "A"},        {"F", "Orphan", "Gone"},
    };
    for (const auto& row : rows) {
        const int r = grid.InsertRow();
        grid.SetItemText(r, 0, row[0]);
        grid.SetItemText(r, 1, row[1]);
        grid.SetItemText(r, 10, row[2]);
        grid.SetItemText(r, 11, "0");
    }
    OrderKpiRows(grid);
    std::string order;
    for (int r = 1; r < grid.GetRowCount(); ++r)
        order +=
            std::string(grid.GetItemText(r, 1)) + "@" + std::string(grid.GetItemText(r, 11)) + " ";
    // A loop of parents (A under B under A) is cut where it closes, not followed for ever; a
    // parent the list does not hold leaves its child where the parent's name sorts it.
    EXPECT_EQ(order, "Solo@0 B@1 Alpha@0 A@1 Top@0 Middle@1 Leaf@2 Orphan@0 ");
}

}  // namespace
}  // namespace orvik::test
