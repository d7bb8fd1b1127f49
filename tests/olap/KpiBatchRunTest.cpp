// A report with a KPI sheet and an OLAP sheet, run unattended once on the embedded engine and once
// through the real orvik-xmla serving the same cube, writes the same page: the KPI rows in their
// tree order, the formatted values and the status and trend pictures.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "../xmlaserver/XmlaServerProcess.h"
#include "KpiShop.h"
#include "TestSupport.h"
#include "app/InProcessRun.h"
#include "core/Program.h"

namespace orvik::test {
namespace {

namespace fs = std::filesystem;

std::string Report(const std::string& dsn) {
    std::string escaped;
    for (char c : dsn) escaped += c == '&' ? std::string("&amp;") : std::string(1, c);
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<root>"
           "<DS><Name>Kpis</Name><tpDS>KPI</tpDS><DSN>" +
           escaped +
           "</DSN><Qry>Sales</Qry></DS>"
           "<DS><Name>Typed</Name><tpDS>OLAP</tpDS><DSN>" +
           escaped +
           "</DSN><bQ>1</bQ><nCube>Sales</nCube><Qry>select {[Measures].[Amount], "
           "[Measures].[Target]} on columns, [Region].[Region].members on rows from [Sales]"
           "</Qry></DS>"
           "<ACT><Name>Daily</Name></ACT><ACT><ActParent>0</ActParent><Name>Page</Name>"
           "<AType>HTML</AType></ACT>"
           "<SHEET><Name>Kpis</Name><cDS>Kpis</cDS><tpVW>GRID</tpVW><bVis>1</bVis></SHEET>"
           "<SHEET><Name>Typed</Name><cDS>Typed</cDS><tpVW>GRID</tpVW><bVis>1</bVis></SHEET>"
           "</root>\n";
}

std::map<std::string, std::string> Pages(const std::string& folder) {
    std::map<std::string, std::string> pages;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".htm" || entry.path().extension() == ".html")
            pages[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
    return pages;
}

TEST(KpiBatchRun, PageIsTheSameThroughOrvikXmlaAsWithTheEngine) {
    TempDir data;
    const KpiShop shop(data);
    TempDir home;
    XmlaServerProcess server(
        {"--catalog", "KpiShop=" + shop.Connection(), "--log", home.Path() + "xmla.log"});
    ASSERT_TRUE(server.Listening()) << server.Output();
    Program program(home.Path(), home.Path() + "settings.ini");

    std::map<std::string, std::string> pages[2];
    const std::string dsns[2] = {shop.Connection(), "Provider=MSOLAP.8;Data Source=" +
                                                        server.Url() + ";Initial Catalog=KpiShop"};
    for (int i = 0; i < 2; ++i) {
        const std::string report = home.Write("kpi" + std::to_string(i) + ".ovk", Report(dsns[i]));
        const InProcessRunOutcome outcome =
            RunReportInProcess(program, {report, "Daily", "", "run" + std::to_string(i)});
        ASSERT_TRUE(outcome.Succeeded) << outcome.FirstError << "\n"
                                       << ReadFileBytes(outcome.LogPath);
        pages[i] = Pages(outcome.WorkFolder);
    }
    ASSERT_FALSE(pages[0].empty());
    ASSERT_EQ(pages[0].size(), pages[1].size());
    for (const auto& [name, page] : pages[0]) {
        // The KPIs in their folders, Growth under Revenue, with their pictures.
        const size_t revenue = page.find(">Revenue&nbsp;<img");
        EXPECT_NE(revenue, std::string::npos) << page;
        EXPECT_GT(page.find(">Growth&nbsp;<img"), revenue);
        EXPECT_NE(page.find("Traffic_light1.gif\" alt=\"0\""), std::string::npos) << page;
        EXPECT_NE(page.find("Gauge2.gif\" alt=\"1\""), std::string::npos) << page;
        EXPECT_EQ(page.find("Return rate"), std::string::npos);
        EXPECT_EQ(pages[1][name], page) << name;
    }
    // The server logs a request after answering it: stopped, it has said everything.
    const int status = server.Stop();
    const std::string log = server.Output();
    EXPECT_EQ(status, 0) << log;
    EXPECT_NE(log.find("request=MDSCHEMA_KPIS catalog=KpiShop cube=Sales"), std::string::npos)
        << log;
    EXPECT_NE(log.find("request=EXECUTE catalog=KpiShop cube=Sales status=200"), std::string::npos)
        << log;
}

}  // namespace
}  // namespace orvik::test
