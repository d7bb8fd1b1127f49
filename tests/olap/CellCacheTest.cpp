// The cube connection's cell cache: a repeated query reads nothing, a drilled one reads only the
// cells it lacks, what the database changed shows after the cache's time or a REFRESH CUBE, a
// connection string with CellCache keeps its cells for the next run, and the cache never holds
// more than its size; a repeated statement gets its whole result back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "SmallShop.h"
#include "data/AdoCellSet.h"
#include "data/AdoException.h"
#include "olap/CellCache.h"
#include "olap/CubeEngine.h"
#include "olap/OlapConnection.h"

namespace orvik::test {
namespace {

const char* const kYears =
    "SELECT {[Measures].[Amount]} ON COLUMNS, [Time].[Year].Members ON ROWS FROM [Sales]";
const char* const kYearsAndMonths =
    "SELECT {[Measures].[Amount]} ON COLUMNS, {[Time].[Year].Members, [Time].[2023].Children} "
    "ON ROWS FROM [Sales]";

// The first cell of `mdx` on `connection`, and how many SQL queries reading it took.
std::pair<double, int> FirstCell(OlapConnection& connection, const std::string& mdx) {
    const CellSetData data = connection.Execute(mdx);
    return {data.Cells.at(0).Value.AsDouble(), LastCubeQueryTimings().SqlQueries};
}

TEST(CubeCellCache, RepeatedAndDrilledQueriesReadOnlyWhatTheyLack) {
    const SmallShop shop;
    const auto connection = OpenOlapConnection(shop.Connection());
    const double firstYear = shop.Sql("SELECT sum(amount) FROM sales WHERE month_id <= 12");
    EXPECT_EQ(FirstCell(*connection, kYears), std::pair(firstYear, 1));
    EXPECT_EQ(FirstCell(*connection, kYears), std::pair(firstYear, 0));
    // The years are kept; the months of 2022 are one grouped query more.
    EXPECT_EQ(FirstCell(*connection, kYearsAndMonths), std::pair(firstYear, 1));
    EXPECT_EQ(FirstCell(*connection, kYearsAndMonths).second, 0);

    // A change in the facts is not seen until the cube is refreshed.
    shop.Execute("UPDATE sales SET amount = amount + 100 WHERE month_id = 1");
    EXPECT_EQ(FirstCell(*connection, kYears).first, firstYear);
    EXPECT_TRUE(connection->Execute("refresh cube [Sales]").Cells.empty());
    EXPECT_EQ(FirstCell(*connection, kYears), std::pair(firstYear + 100, 1));
    EXPECT_THROW(connection->Execute("REFRESH CUBE [Nope]"), CADOException);
}

TEST(CubeCellCache, CellCacheKeepsTheConnectionForTheNextRunAndAgesItsCells) {
    const SmallShop shop;
    const std::string kept = shop.Connection() + ";CellCache=1";
    const double firstYear = shop.Sql("SELECT sum(amount) FROM sales WHERE month_id <= 12");
    EXPECT_EQ(FirstCell(*OpenOlapConnection(kept), kYears).second, 1);
    // Every user of the connection let go: the kept one still has the cells.
    EXPECT_EQ(FirstCell(*OpenOlapConnection(kept), kYears).second, 0);
    EXPECT_EQ(FirstCell(*OpenOlapConnection(shop.Connection()), kYears).second, 1);
    EXPECT_EQ(FirstCell(*OpenOlapConnection(shop.Connection()), kYears).second, 1);

    shop.Execute("UPDATE sales SET amount = amount + 100 WHERE month_id = 1");
    const auto connection = OpenOlapConnection(kept);
    EXPECT_EQ(FirstCell(*connection, kYears), std::pair(firstYear, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_EQ(FirstCell(*connection, kYears), std::pair(firstYear + 100, 1));

    EXPECT_THROW(OpenOlapConnection(shop.Connection() + ";CellCache=soon")->Execute(kYears),
                 CADOException);
}

TEST(CubeCellCache, HoldsNoMoreThanItsSizeAndLetsTheOldestGoFirst) {
    cube::CellCache cache(64 * 1024, {});
    const auto key = [](int i) { return "cell " + std::to_string(i); };
    for (int i = 0; i < 10000; ++i) cache.Store(key(i), 0, Variant::MakeR8(i));
    EXPECT_LE(cache.Bytes(), 64u * 1024);
    EXPECT_GT(cache.Cells(), 100u);
    EXPECT_LT(cache.Cells(), 10000u);
    EXPECT_FALSE(cache.Find(key(0), 0));
    ASSERT_TRUE(cache.Find(key(9999), 0));
    EXPECT_EQ(cache.Find(key(9999), 0)->AsDouble(), 9999);
    EXPECT_FALSE(cache.Find(key(9999), 1)) << "another measure of the same cell";

    // An answer too large for the cache is not kept rather than emptying it.
    cube::FactCombinations huge;
    huge.Width = 1;
    huge.Positions.assign(64 * 1024, 0);
    cache.StoreCombinations("huge", huge);
    EXPECT_FALSE(cache.FindCombinations("huge"));
    EXPECT_TRUE(cache.Find(key(9999), 0));

    cache.Clear();
    EXPECT_EQ(cache.Bytes(), 0u);
    EXPECT_FALSE(cache.Find(key(9999), 0));
}

TEST(CubeCellCache, ARepeatedStatementGetsItsResultBackAsFirstGiven) {
    const SmallShop shop;
    const auto connection = OpenOlapConnection(shop.Connection());
    const CellSetData first = connection->Execute(kYearsAndMonths);
    const CellSetData again = connection->Execute(kYearsAndMonths);
    EXPECT_EQ(LastCubeQueryTimings().SqlQueries, 0);
    ASSERT_EQ(again.Axes.size(), first.Axes.size());
    ASSERT_EQ(again.Axes[1].Positions.size(), first.Axes[1].Positions.size());
    for (size_t p = 0; p < first.Axes[1].Positions.size(); ++p)
        EXPECT_EQ(again.Axes[1].Positions[p].Members[0].UniqueName,
                  first.Axes[1].Positions[p].Members[0].UniqueName);
    ASSERT_EQ(again.Cells.size(), first.Cells.size());
    for (size_t c = 0; c < first.Cells.size(); ++c)
        EXPECT_EQ(again.Cells[c].FormattedValue, first.Cells[c].FormattedValue);
    EXPECT_NE(std::find_if(again.Notes.begin(), again.Notes.end(),
                           [](const std::string& note) {
                               return note.find("result kept") != std::string::npos;
                           }),
              again.Notes.end());
    // Another text is another statement, even when it means the same.
    connection->Execute(std::string(kYearsAndMonths) + " ");
    EXPECT_EQ(LastCubeQueryTimings().SqlQueries, 0) << "its cells are kept all the same";
}

TEST(CubeCellCache, KeptResultsAgeGoOldestFirstAndNeverFillTheCacheAlone) {
    const auto result = [](size_t cells) {
        CellSetData data;
        data.Axes.resize(1);
        for (size_t c = 0; c < cells; ++c) {
            CellSetMember member;
            member.UniqueName = "[M].[" + std::to_string(c) + "]";
            data.Axes[0].Positions.push_back(CellSetPosition{{member}});
            data.Cells.push_back({Variant::MakeR8(double(c)), std::to_string(c)});
        }
        return data;
    };
    cube::CellCache cache(64 * 1024, {});
    cache.StoreResult("small", result(10));
    ASSERT_TRUE(cache.FindResult("small"));
    EXPECT_EQ(cache.FindResult("small")->Cells.at(9).FormattedValue, "9");
    cache.StoreResult("huge", result(20000));
    EXPECT_FALSE(cache.FindResult("huge"));
    EXPECT_TRUE(cache.FindResult("small"));
    // Cells stored after it push the oldest entry, the result, out first.
    for (int i = 0; i < 10000; ++i) cache.Store("cell " + std::to_string(i), 0, Variant::MakeR8(i));
    EXPECT_FALSE(cache.FindResult("small"));
    EXPECT_LE(cache.Bytes(), 64u * 1024);

    cube::CellCache aging(64 * 1024, std::chrono::milliseconds(20));
    aging.StoreResult("small", result(10));
    EXPECT_TRUE(aging.FindResult("small"));
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_FALSE(aging.FindResult("small"));
}

}  // namespace
}  // namespace orvik::test
