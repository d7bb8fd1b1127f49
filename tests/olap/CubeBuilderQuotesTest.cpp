// What the cube engine and the query builder do with the shop: a hierarchy that does not say
// whether it has an All member has one, and a builder filter on a member whose name holds a quote
// makes MDX that runs and reads that member's cells.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SmallShop.h"
#include "data/AdoCellSet.h"
#include "data/AdoException.h"
#include "olap/OlapConnection.h"
#include "sources/QueryBuilder.h"

namespace orvik::test {
namespace {

const OlapHierarchy* FindHierarchy(const OlapCube& cube, const std::string& dimension) {
    for (const OlapDimension& d : cube.Dimensions)
        if (d.Name == dimension && !d.Hierarchies.empty()) return &d.Hierarchies.front();
    return nullptr;
}

TEST(CubeShop, AHierarchyThatDoesNotSayHasAnAllMember) {
    const SmallShop shop;
    const OlapCube cube = OpenOlapConnection(shop.Connection())->Cube("Sales");
    const OlapHierarchy* store = FindHierarchy(cube, "Store");
    ASSERT_NE(store, nullptr);
    EXPECT_TRUE(store->HasAll);
    ASSERT_FALSE(store->Levels.empty());
    EXPECT_TRUE(store->Levels.front().IsAll);
    EXPECT_EQ(store->DefaultMember, "[Store].[All Stores]");

    // The All member is the default: a query that names no store reads every store's sales.
    const double total = shop.Sql("SELECT sum(amount) FROM sales");
    for (const std::string& mdx :
         {std::string("SELECT {[Measures].[Amount]} ON COLUMNS FROM [Sales]"),
          std::string("SELECT {[Store].[All Stores]} ON COLUMNS FROM [Sales]")}) {
        CADOMDCellSet cells;
        cells.Open(mdx, shop.Connection());
        EXPECT_DOUBLE_EQ(cells.Cell(0).Value.AsDouble(), total) << mdx;
    }
}

TEST(CubeShop, ABuilderFilterOnANameWithAQuoteRunsAndReadsThatMember) {
    const SmallShop shop;
    const std::shared_ptr<OlapConnection> connection = OpenOlapConnection(shop.Connection());
    std::string moms, corner;
    for (const CellSetMember& member : connection->LevelMembers("Sales", "[Store].[Store Name]")) {
        if (member.Caption == "Mom's Place") moms = member.UniqueName;
        if (member.Caption == "Corner Shop") corner = member.UniqueName;
    }
    ASSERT_NE(moms.find("Mom's Place"), std::string::npos) << moms;

    for (const std::string& members : {moms, moms + "," + corner}) {
        const BuilderNode data{1, QueryAxis::Data, "[Measures].[Amount]", ""};
        const BuilderNode rows{2, QueryAxis::Rows, "[Product].[Product]", ""};
        const BuilderNode filter{3, QueryAxis::Filter, "[Store].[Store Name]", members};
        const std::string mdx = BuildMdxText({&data, &rows, &filter}, "Sales");
        CADOMDCellSet cells;
        try {
            cells.Open(mdx, shop.Connection());
        } catch (const CADOException& error) {
            FAIL() << mdx << "\n" << error.what();
        }
        const std::string stores = members == moms ? "(1)" : "(1, 2)";
        ASSERT_EQ(cells.Axis(1).Positions.size(), 2u) << mdx;
        for (size_t row = 0; row < 2; ++row) {
            const std::string product = cells.Axis(1).Positions[row].Members[0].Caption;
            EXPECT_DOUBLE_EQ(cells.Cell(static_cast<long>(row)).Value.AsDouble(),
                             shop.Sql("SELECT sum(amount) FROM sales JOIN product USING "
                                      "(product_id) WHERE store_id IN " +
                                      stores + " AND product_name = '" + product + "'"))
                << mdx << "\n"
                << product;
        }
    }
}

}  // namespace
}  // namespace orvik::test
