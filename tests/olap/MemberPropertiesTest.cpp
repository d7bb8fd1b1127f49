// Member properties on a small star schema the test writes itself, with the kind of data a real
// dimension table holds: a size column that is text with "n/a" in it, truth values spelt three
// ways, a manager missing, a quote in a name and a column whose name holds a "]". Read through
// the cell set, as reports read them: <member>.Properties("...") in formulas, DIMENSION
// PROPERTIES on axes.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <string>

#include "TestSupport.h"
#include "data/AdoCellSet.h"
#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "olap/CubeSchema.h"
#include "olap/PropertyValuePool.h"

namespace orvik {
namespace {

const char* const kData = R"SQL(
CREATE TABLE store (store_id INTEGER PRIMARY KEY, country TEXT, store_name TEXT, sqft TEXT,
                    has_bar TEXT, manager TEXT, "odd]col" TEXT);
INSERT INTO store VALUES (1, 'USA', 'Mom''s Place', '1200', 'true', 'O''Brien', 'x]1'),
  (2, 'USA', 'Corner Shop', 'n/a', '0', NULL, 'y'), (3, 'Canada', 'Maple Store', NULL, 'YES',
  'Lee', 'z'), (4, 'Canada', 'North Post', '850.5', 'maybe', 'Kim', 'w');
CREATE TABLE product (product_id INTEGER PRIMARY KEY, product_name TEXT, weight REAL);
INSERT INTO product VALUES (1, 'Bread', 0.5), (2, 'Milk', 1.25);
CREATE TABLE sales (store_id INTEGER, product_id INTEGER, amount REAL);
INSERT INTO sales VALUES (1, 1, 10.0), (1, 2, 5.0), (2, 1, 7.0), (3, 2, 20.0), (4, 1, 3.0);
)SQL";

const char* const kSchema = R"XML(<?xml version="1.0"?>
<Schema name="Shop">
  <Cube name="Sales">
    <Table name="sales"/>
    <Dimension name="Store" foreignKey="store_id">
      <Hierarchy hasAll="true" allMemberName="All Stores" primaryKey="store_id">
        <Table name="store"/>
        <Level name="Country" column="country" uniqueMembers="true">
          <Property name="Country Code" column="country"/>
        </Level>
        <Level name="Store Name" column="store_name" uniqueMembers="true">
          <Property name="Sqft" column="sqft" type="Numeric"/>
          <Property name="Has Bar" column="has_bar" type="Boolean"/>
          <Property name="Manager" column="manager"/>
          <Property name="Odd]Name" column="odd]col"/>
        </Level>
      </Hierarchy>
    </Dimension>
    <Dimension name="Product" foreignKey="product_id">
      <Hierarchy hasAll="true" primaryKey="product_id">
        <Table name="product"/>
        <Level name="Product" column="product_id" nameColumn="product_name" type="Numeric"
               uniqueMembers="true">
          <Property name="Weight" column="weight" type="Numeric"/>
        </Level>
      </Hierarchy>
    </Dimension>
    <Measure name="Amount" column="amount" aggregator="sum" formatString="#,##0.00"/>
  </Cube>
</Schema>
)XML";

const std::string kMoms = "[Store].[USA].[Mom's Place]";

class MemberPropertiesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<test::TempDir>();
        const std::string database = folder_->Path() + "shop.db";
        ASSERT_EQ(test::ExecuteSqlite(database, kData), "");
        connection_ = "Provider=Orvik.Cube;Data Source=" + database +
                      ";Catalog=" + folder_->Write("shop.xml", kSchema);
    }
    static void TearDownTestSuite() { folder_.reset(); }

    // Runs `mdx` into cells_; a failure fails the test with the engine's message.
    bool Run(const std::string& mdx) {
        try {
            cells_.Open(mdx, connection_);
            return true;
        } catch (const CADOException& error) {
            ADD_FAILURE() << mdx << "\n" << error.what();
            return false;
        }
    }
    static std::string ErrorOf(const std::string& mdx) {
        CADOMDCellSet cells;
        try {
            cells.Open(mdx, connection_);
        } catch (const CADOException& error) {
            return error.what();
        }
        return "";
    }
    // The value of `expression` as a calculated measure.
    Variant Value(const std::string& expression) {
        if (!Run("WITH MEMBER [Measures].[X] AS " + expression +
                 " SELECT {[Measures].[X]} ON COLUMNS FROM [Sales]"))
            return Variant::MakeString("<failed>");
        return cells_.Cell(0).Value;
    }
    // The properties of the member at `member` of row `row`, as "name=value; ...".
    std::string PropertiesAt(int axis, size_t row, size_t member = 0) const {
        std::string out;
        for (const CellSetProperty& property :
             cells_.Axis(axis).Positions.at(row).Members.at(member).Properties)
            out += (out.empty() ? "" : "; ") + property.Name + "=" + Shown(property.Value);
        return out;
    }

    // Numbers as the shortest text that reads back the same; "null" for a null.
    static std::string Shown(const Variant& value) {
        if (value.IsNull()) return "null";
        if (value.Type() != VariantType::R8) return VariantToText(value);
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%g", value.AsDouble());
        return buffer;
    }

    static inline std::unique_ptr<test::TempDir> folder_;
    static inline std::string connection_;
    CADOMDCellSet cells_;
};

TEST_F(MemberPropertiesTest, PropertiesOfAMemberComeBackAsTheirDeclaredType) {
    const Variant sqft = Value(kMoms + ".Properties(\"Sqft\")");
    EXPECT_EQ(sqft.Type(), VariantType::R8);
    EXPECT_EQ(sqft.AsDouble(), 1200);
    EXPECT_EQ(Value(kMoms + ".Properties(\"sqft\") * 2").AsDouble(), 2400);
    const Variant bar = Value(kMoms + ".Properties(\"Has Bar\", TYPED)");
    EXPECT_EQ(bar.Type(), VariantType::Bool);
    EXPECT_TRUE(bar.AsInt64());
    EXPECT_FALSE(Value("[Store].[USA].[Corner Shop].Properties(\"Has Bar\")").AsInt64());
    EXPECT_EQ(Value(kMoms + ".Properties(\"Manager\")").AsString(), "O'Brien");
    // A column whose name SQLite's brackets cannot hold.
    EXPECT_EQ(Value(kMoms + ".Properties(\"odd]name\")").AsString(), "x]1");

    // What the table holds that is not of the declared type stays as it is, or empty.
    EXPECT_EQ(Value("[Store].[USA].[Corner Shop].Properties(\"Sqft\")").AsString(), "n/a");
    EXPECT_TRUE(Value("[Store].[Canada].[Maple Store].Properties(\"Sqft\")").IsEmpty());
    EXPECT_EQ(Value("[Store].[Canada].[North Post].Properties(\"Has Bar\")").AsString(), "maybe");
}

TEST_F(MemberPropertiesTest, EveryMemberHasTheIntrinsicProperties) {
    EXPECT_EQ(Value(kMoms + ".Properties(\"MEMBER_CAPTION\")").AsString(), "Mom's Place");
    EXPECT_EQ(Value(kMoms + ".Properties(\"PARENT_UNIQUE_NAME\")").AsString(), "[Store].[USA]");
    EXPECT_EQ(Value(kMoms + ".Properties(\"LEVEL_NUMBER\") + 1").AsDouble(), 3);
    const Variant key = Value("[Product].[Milk].Properties(\"KEY\")");
    EXPECT_EQ(key.AsDouble(), 2);  // a numeric level's key is a number
    EXPECT_NE(key.Type(), VariantType::String);
    EXPECT_TRUE(Value("[Store].Properties(\"PARENT_UNIQUE_NAME\")").IsEmpty());
    EXPECT_EQ(Value("[Measures].[Amount].Properties(\"caption\")").AsString(), "Amount");

    // The current member of each row, as a report's formula would ask.
    ASSERT_TRUE(
        Run("WITH MEMBER [Measures].[Size] AS [Store].CurrentMember.Properties(\"Sqft\")"
            " SELECT {[Measures].[Size]} ON COLUMNS, [Store].[USA].Children ON ROWS"
            " FROM [Sales]"));
    EXPECT_EQ(cells_.Cell(0).Value.AsString(), "n/a");  // Corner Shop sorts first
    EXPECT_EQ(cells_.Cell(1).Value.AsDouble(), 1200);
}

TEST_F(MemberPropertiesTest, APropertyTheMemberLacksIsAnErrorNamingBoth) {
    const std::string onCountry = ErrorOf(
        "WITH MEMBER [Measures].[X] AS [Store].[USA].Properties("
        "\"Sqft\") SELECT {[Measures].[X]} ON 0 FROM [Sales]");
    EXPECT_NE(onCountry.find("[Store].[USA]"), std::string::npos) << onCountry;
    EXPECT_NE(onCountry.find("'Sqft'"), std::string::npos) << onCountry;
    const std::string unknown = ErrorOf("WITH MEMBER [Measures].[X] AS " + kMoms +
                                        ".Properties(\"Colour\") SELECT {[Measures].[X]} ON 0 "
                                        "FROM [Sales]");
    EXPECT_NE(unknown.find(kMoms), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("'Colour'"), std::string::npos) << unknown;
    EXPECT_NE(ErrorOf("WITH MEMBER [Measures].[X] AS " + kMoms +
                      ".Properties(1) SELECT {[Measures].[X]} ON 0 FROM [Sales]")
                  .find("a property name as a string"),
              std::string::npos);
    EXPECT_NE(ErrorOf("WITH MEMBER [Measures].[X] AS " + kMoms +
                      ".Properties(\"Sqft\", UNTYPED) SELECT {[Measures].[X]} ON 0 FROM [Sales]")
                  .find("only TYPED"),
              std::string::npos);
}

TEST_F(MemberPropertiesTest, DimensionPropertiesGoToTheMembersThatHaveThem) {
    ASSERT_TRUE(
        Run("SELECT {[Measures].[Amount]} ON COLUMNS,"
            " CROSSJOIN({[Store].[USA].[Mom's Place], [Store].[USA].[Corner Shop]},"
            " {[Product].[Bread]}) DIMENSION PROPERTIES [Store].[Store Name].[Manager],"
            " MEMBER_CAPTION, [Product].[weight], [Store].[Sqft], PARENT_UNIQUE_NAME"
            " ON ROWS FROM [Sales]"));
    EXPECT_EQ(PropertiesAt(1, 0, 0),
              "Manager=O'Brien; MEMBER_CAPTION=Mom's Place; Sqft=1200; "
              "PARENT_UNIQUE_NAME=[Store].[USA]");
    EXPECT_EQ(PropertiesAt(1, 0, 1),
              "MEMBER_CAPTION=Bread; Weight=0.5; PARENT_UNIQUE_NAME=[Product].[All Products]");
    // Present but empty: the member's level has it.
    EXPECT_EQ(PropertiesAt(1, 1, 0),
              "Manager=null; MEMBER_CAPTION=Corner Shop; Sqft=n/a; "
              "PARENT_UNIQUE_NAME=[Store].[USA]");

    // Each hierarchy of the tuples, with what was asked of it and of which type.
    const CellSetAxis& rows = cells_.Axis(1);
    ASSERT_EQ(rows.Hierarchies.size(), 2u);
    EXPECT_EQ(rows.Hierarchies[0].UniqueName, "[Store]");
    ASSERT_EQ(rows.Hierarchies[0].Properties.size(), 4u);
    EXPECT_EQ(rows.Hierarchies[0].Properties[0].UniqueName, "[Store].[Store Name].[Manager]");
    EXPECT_EQ(rows.Hierarchies[0].Properties[1].UniqueName, "[Store].[MEMBER_CAPTION]");
    EXPECT_EQ(rows.Hierarchies[0].Properties[2].Type, VariantType::R8);
    ASSERT_EQ(rows.Hierarchies[1].Properties.size(), 3u);
    EXPECT_EQ(rows.Hierarchies[1].Properties[1].Name, "Weight");
    EXPECT_TRUE(cells_.Axis(0).Hierarchies.at(0).Properties.empty());
    EXPECT_TRUE(cells_.Axis(0).Positions[0].Members[0].Properties.empty());

    // A level without the property, the All member without a parent: left out.
    ASSERT_TRUE(
        Run("SELECT [Store].Members DIMENSION PROPERTIES [Store].[Sqft], PARENT_LEVEL,"
            " [Store].[Country].[Country Code], [Store].[Store Name].[odd]]name] ON COLUMNS"
            " FROM [Sales] WHERE"
            " [Product].[Milk]"));
    EXPECT_EQ(PropertiesAt(0, 0), "");
    EXPECT_EQ(PropertiesAt(0, 1), "PARENT_LEVEL=0; Country Code=Canada");
    EXPECT_EQ(PropertiesAt(0, 2), "Sqft=null; PARENT_LEVEL=1; Odd]Name=z");  // Maple Store
    EXPECT_EQ(cells_.Axis(0).Positions[2].Members[0].Caption, "Maple Store");
    EXPECT_TRUE(cells_.Slicer().Positions[0].Members[0].Properties.empty());
}

// A recordset over the cube holds the asked properties as fields beside the row captions.
TEST_F(MemberPropertiesTest, ARecordsetOfTheResultHoldsThePropertiesAsFields) {
    CADODatabase database;
    database.Open(connection_);
    CADORecordset rows(&database);
    rows.Open(
        "SELECT {[Measures].[Amount]} ON COLUMNS, [Store].[USA].Children"
        " DIMENSION PROPERTIES [Store].[Sqft] ON ROWS FROM [Sales]");
    ASSERT_EQ(rows.GetFieldCount(), 3);
    EXPECT_EQ(rows.GetFieldName(0), "[Store].[Store Name].[MEMBER_CAPTION]");
    EXPECT_EQ(rows.GetFieldName(1), "[Store].[Store Name].[Sqft]");
    Variant value;
    rows.GetFieldValue(1, value);  // Corner Shop first: its size is text
    EXPECT_EQ(value.AsString(), "n/a");
    rows.MoveNext();
    rows.GetFieldValue(1, value);
    EXPECT_DOUBLE_EQ(value.AsDouble(), 1200);
    rows.GetFieldValue(2, value);
    EXPECT_DOUBLE_EQ(value.AsDouble(), 15);
}

TEST_F(MemberPropertiesTest, UnknownDimensionPropertiesAreRefusedByName) {
    const std::string unknown = ErrorOf(
        "SELECT [Store].[Store Name].Members DIMENSION PROPERTIES MEMBER_NAME,"
        " [Store].[Store Name].[Colour] ON ROWS, {[Measures].[Amount]} ON COLUMNS FROM [Sales]");
    EXPECT_NE(unknown.find("[Store].[Store Name].[Colour]"), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("axis 1 (ROWS)"), std::string::npos) << unknown;
    // Declared, but on another level than the one named.
    const std::string elsewhere = ErrorOf(
        "SELECT [Store].Members DIMENSION PROPERTIES [Store].[Country].[Sqft] ON 0 "
        "FROM [Sales]");
    EXPECT_NE(elsewhere.find("the level [Store].[Country] declares no property 'Sqft'"),
              std::string::npos)
        << elsewhere;
    const std::string qualifier =
        ErrorOf("SELECT [Store].Members DIMENSION PROPERTIES [Warehouse].[Sqft] ON 0 FROM [Sales]");
    EXPECT_NE(qualifier.find("neither a hierarchy nor a level"), std::string::npos) << qualifier;
    const std::string bare = ErrorOf("SELECT [Store].Members DIMENSION PROPERTIES ON 0 FROM Sales");
    EXPECT_NE(bare.find("expected a property name"), std::string::npos) << bare;
}

// Values are shared between members only when they are the same value of the same type.
TEST(PropertyValuePool, KeepsEachValueOnceAndTellsTypesApart) {
    cube::PropertyValuePool pool;
    const uint32_t text = pool.Add(Variant::MakeString("1"));
    EXPECT_EQ(pool.Add(Variant::MakeString("1")), text);
    const uint32_t integer = pool.Add(Variant::MakeI8(1));
    const uint32_t real = pool.Add(Variant::MakeR8(1.0000000000000002));
    EXPECT_NE(integer, text);
    EXPECT_NE(real, pool.Add(Variant::MakeR8(1)));
    EXPECT_EQ(pool.Add(Variant::MakeNull()), 0u);
    pool.DoneAdding();
    EXPECT_EQ(pool.At(real).AsDouble(), 1.0000000000000002);
    EXPECT_EQ(pool.At(text).AsString(), "1");
    EXPECT_TRUE(pool.At(12345).IsNull());
}

TEST(MemberPropertySchema, APropertyWithoutNameOrColumnIsRefusedWithItsLine) {
    const std::string schema =
        "<Schema name='S'><Cube name='C'><Table name='f'/>\n"
        "<Dimension name='D' foreignKey='d'><Hierarchy hasAll='true' primaryKey='d'>"
        "<Table name='d'/>\n<Level name='L' column='l'>\n<Property name='P'/>"
        "</Level></Hierarchy></Dimension><Measure name='M' column='m' aggregator='sum'/>"
        "</Cube></Schema>";
    try {
        cube::ParseCubeSchema(schema, "bad.xml", "sqlite");
        ADD_FAILURE() << "a property without a column was read";
    } catch (const cube::CubeSchemaError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("bad.xml line 4"), std::string::npos) << message;
        EXPECT_NE(message.find("'L' needs a name and a column"), std::string::npos) << message;
    }
}

}  // namespace
}  // namespace orvik
