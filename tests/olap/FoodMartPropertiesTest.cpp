// DIMENSION PROPERTIES on FoodMart, as the MDX cases and the XMLA responses other servers gave
// ask for them: the declared Store Sqft of each store against the store table itself, and the
// parent properties of members with and without a parent.
#include <gtest/gtest.h>

#include <string>

#include "FoodMart.h"
#include "TestSupport.h"
#include "data/AdoCellSet.h"
#include "data/AdoDatabase.h"
#include "data/AdoRecordset.h"

namespace orvik::test {
namespace {

class FoodMartProperties : public ::testing::Test {
  protected:
    void SetUp() override {
        ORVIK_NEED_FOODMART(false);
        const std::string material = OlapMaterialFolder();
        database_ = FoodMartSqlite(material);
        connection_ = FoodMartCubeConnection(material, database_, false);
    }
    const CellSetMember& Member(int axis, size_t position, size_t member = 0) const {
        return cells_.Axis(axis).Positions.at(position).Members.at(member);
    }

    std::string database_, connection_;
    CADOMDCellSet cells_;
};

// Case 29: the square feet of every store with shipments, as the store table has them.
TEST_F(FoodMartProperties, StoreSqftOfEachStoreIsTheStoreTables) {
    cells_.Open(
        "SELECT {[Measures].[Units Shipped], [Measures].[Units Ordered]} ON COLUMNS,"
        " NON EMPTY [Store].[Store Name].MEMBERS"
        " DIMENSION PROPERTIES [Store].[Store Name].[Store Sqft] ON ROWS FROM Warehouse",
        connection_);
    CADODatabase database;
    database.Open("Provider=SQLite;Data Source=" + database_);
    const CellSetAxis& rows = cells_.Axis(1);
    ASSERT_EQ(rows.Positions.size(), 13u);
    for (const CellSetPosition& position : rows.Positions) {
        const CellSetMember& store = position.Members.at(0);
        ASSERT_EQ(store.Properties.size(), 1u) << store.UniqueName;
        EXPECT_EQ(store.Properties[0].Name, "Store Sqft");
        CADORecordset sqft(&database);
        sqft.Open("SELECT store_sqft FROM store WHERE store_name = '" + store.Name + "'");
        Variant expected;
        sqft.GetFieldValue(0, expected);
        const Variant& value = store.Properties[0].Value;
        if (expected.IsNull()) {
            EXPECT_TRUE(value.IsNull()) << store.Name;
            continue;
        }
        EXPECT_EQ(value.Type(), VariantType::R8) << store.Name;
        EXPECT_DOUBLE_EQ(value.AsDouble(), expected.AsDouble()) << store.Name;
    }
    EXPECT_EQ(rows.Hierarchies.at(0).Properties.at(0).UniqueName,
              "[Store].[Store Name].[Store Sqft]");
}

// The XMLA responses: Gender's members name their All member and its level; the years of HR's
// Time hierarchy, which has no All level, carry no parent at all.
TEST_F(FoodMartProperties, ParentPropertiesAsServersReturnThem) {
    cells_.Open(
        "SELECT {[Customers].Children} ON 0,"
        " {[Gender].Children} DIMENSION PROPERTIES PARENT_LEVEL, PARENT_UNIQUE_NAME ON 1"
        " FROM Sales WHERE ([Time].[1997].[Q2], [Marital Status], "
        "[Measures].[Store Sales])",
        connection_);
    for (size_t p = 0; p < 2; ++p) {
        const CellSetMember& gender = Member(1, p);
        ASSERT_EQ(gender.Properties.size(), 2u) << gender.UniqueName;
        EXPECT_EQ(gender.Properties[0].Name, "PARENT_LEVEL");
        EXPECT_EQ(gender.Properties[0].Value.AsInt64(), 0);
        EXPECT_EQ(gender.Properties[1].Value.AsString(), "[Gender].[All Gender]");
    }
    EXPECT_EQ(Member(1, 0).UniqueName, "[Gender].[F]");
    EXPECT_EQ(cells_.Axis(1).Hierarchies.at(0).Properties.at(0).Type, VariantType::UI4);

    cells_.Open(
        "select NON EMPTY Hierarchize({[Time].[Year].Members})"
        " DIMENSION PROPERTIES PARENT_UNIQUE_NAME ON COLUMNS from [HR]"
        " where [Measures].[Count]",
        connection_);
    ASSERT_EQ(cells_.Axis(0).Positions.size(), 2u);
    EXPECT_TRUE(Member(0, 0).Properties.empty());
    EXPECT_EQ(cells_.Cell(1).Value.AsDouble(), 13860);
    EXPECT_EQ(cells_.Axis(0).Hierarchies.at(0).Properties.at(0).UniqueName,
              "[Time].[PARENT_UNIQUE_NAME]");
}

}  // namespace
}  // namespace orvik::test
