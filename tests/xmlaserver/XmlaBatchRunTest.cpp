// A report run unattended writes the same page whether its OLAP sources read the cube through
// the embedded engine or through orvik-xmla serving that cube: the builder's sources and typed
// MDX alike, the table, its headers and every formatted value.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "../olap/SmallShop.h"
#include "TestSupport.h"
#include "XmlaServerProcess.h"
#include "app/InProcessRun.h"
#include "core/Program.h"

namespace orvik::test {
namespace {

namespace fs = std::filesystem;

// The report: a builder source and a typed-MDX source over `dsn`, a sheet each, and a task
// whose one step writes the page.
std::string Report(const std::string& dsn) {
    const std::string escaped = [&] {
        std::string out;
        for (char c : dsn) out += c == '&' ? std::string("&amp;") : std::string(1, c);
        return out;
    }();
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<root>"
           "<DS><Name>Built</Name><tpDS>OLAP</tpDS><DSN>" +
           escaped +
           "</DSN><bQ>0</bQ><nCube>Sales</nCube><MDXC>[Time].[Year]</MDXC>"
           "<MDXR>[Store].[Store Name]</MDXR><MDXD>[Measures].[Amount]</MDXD></DS>"
           "<DS><Name>Typed</Name><tpDS>OLAP</tpDS><DSN>" +
           escaped +
           "</DSN><bQ>1</bQ><nCube>Sales</nCube><Qry>select {[Measures].[Amount]} on columns, "
           "crossjoin([Store].[Country].members, [Product].[Product].members) on rows from "
           "[Sales] where [Time].[2023]</Qry></DS>"
           "<ACT><Name>Daily</Name></ACT><ACT><ActParent>0</ActParent><Name>Page</Name>"
           "<AType>HTML</AType></ACT>"
           "<SHEET><Name>Built</Name><cDS>Built</cDS><tpVW>GRID</tpVW><bVis>1</bVis></SHEET>"
           "<SHEET><Name>Typed</Name><cDS>Typed</cDS><tpVW>GRID</tpVW><bVis>1</bVis></SHEET>"
           "</root>\n";
}

// The pages the run wrote into its work folder, by file name.
std::map<std::string, std::string> Pages(const std::string& folder) {
    std::map<std::string, std::string> pages;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".htm" || entry.path().extension() == ".html")
            pages[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
    return pages;
}

TEST(XmlaBatchRun, PageIsTheSameThroughTheServerAsWithTheEngine) {
    SmallShop shop;
    TempDir home;
    XmlaServerProcess server(
        {"--catalog", "Shop=" + shop.Connection(), "--log", home.Path() + "xmla.log"});
    ASSERT_TRUE(server.Listening()) << server.Output();
    Program program(home.Path(), home.Path() + "settings.ini");

    std::map<std::string, std::string> pages[2];
    const std::string dsns[2] = {shop.Connection(), "Provider=MSOLAP.8;Data Source=" +
                                                        server.Url() + ";Initial Catalog=Shop"};
    for (int i = 0; i < 2; ++i) {
        const std::string report = home.Write("shop" + std::to_string(i) + ".ovk", Report(dsns[i]));
        const InProcessRunOutcome outcome =
            RunReportInProcess(program, {report, "Daily", "", "run" + std::to_string(i)});
        ASSERT_TRUE(outcome.Succeeded) << outcome.FirstError << "\n"
                                       << ReadFileBytes(outcome.LogPath);
        pages[i] = Pages(outcome.WorkFolder);
    }
    ASSERT_FALSE(pages[0].empty());
    ASSERT_EQ(pages[0].size(), pages[1].size());
    for (const auto& [name, page] : pages[0]) {
        EXPECT_NE(page.find("Mom"), std::string::npos) << name;  // the stores are on the page
        EXPECT_EQ(pages[1][name], page) << name;
    }
    // The second run did read through the server. The server writes a request's line after
    // answering it, so its output is read once it has stopped.
    EXPECT_EQ(server.Stop(), 0) << server.Output();
    EXPECT_NE(server.Output().find("request=EXECUTE catalog=Shop cube=Sales status=200"),
              std::string::npos)
        << server.Output();
}

}  // namespace
}  // namespace orvik::test
