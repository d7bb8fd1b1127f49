// One cube connection serves the runs of one process (OpenOlapConnection keeps one per string), so
// queries from several threads at once must each get the cells they would get alone.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "data/AdoCellSet.h"
#include "olap/OlapConnection.h"
#include "olap/SmallShop.h"

namespace orvik {
namespace {

std::string Cells(const CellSetData& data) {
    std::string text;
    for (const CellSetCell& cell : data.Cells) text += cell.FormattedValue + "|";
    return text;
}

TEST(SharedCube, OneConnectionAnswersManyThreadsAsItAnswersOne) {
    test::SmallShop shop;
    const std::vector<std::string> queries = {
        "SELECT {[Measures].[Amount]} ON COLUMNS, [Store].[Country].Members ON ROWS FROM [Sales]",
        "SELECT {[Measures].[Amount]} ON COLUMNS, [Time].[Month].Members ON ROWS FROM [Sales]",
        "SELECT [Product].[Product].Members ON COLUMNS, [Store].[Store Name].Members ON ROWS "
        "FROM [Sales]",
        "SELECT {[Measures].[Amount]} ON COLUMNS, CROSSJOIN([Time].[Year].Members, "
        "[Product].[Product].Members) ON ROWS FROM [Sales]"};
    // Each answer once, alone, on a connection of its own.
    std::vector<std::string> alone;
    for (const std::string& mdx : queries)
        alone.push_back(Cells(OpenOlapConnection(shop.Connection(), "/alone/")->Execute(mdx)));

    const std::shared_ptr<OlapConnection> shared = OpenOlapConnection(shop.Connection());
    std::vector<std::vector<std::string>> got(8);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < got.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round)
                for (size_t q = 0; q < queries.size(); ++q)
                    got[t].push_back(Cells(shared->Execute(queries[(q + t) % queries.size()])));
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (size_t t = 0; t < got.size(); ++t) {
        ASSERT_EQ(got[t].size(), 3 * queries.size());
        for (size_t i = 0; i < got[t].size(); ++i)
            EXPECT_EQ(got[t][i], alone[(i % queries.size() + t) % queries.size()])
                << "thread " << t << ", query " << i;
    }
}

}  // namespace
}  // namespace orvik
