// The OLAP schema rowsets through the recordset, the way the catalog browser and the KPI list
// open them: a star schema in a SQLite file and a cube schema made by each test, opened with the
// embedded cube engine's connection string.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"

namespace orvik::test {
namespace {

constexpr const char* kCubesGuid = "{C8B522D8-5CF3-11CE-ADE5-00AA0044773D}";
constexpr const char* kDimensionsGuid = "{c8b522d9-5cf3-11ce-ade5-00aa0044773d}";
constexpr const char* kMembersGuid = "C8B522DE-5CF3-11CE-ADE5-00AA0044773D";
constexpr const char* kKpisGuid = "{2AE44109-ED3D-4842-B16F-B694D1CB0E3F}";

constexpr const char* kStarSchema = R"(
CREATE TABLE time_by_day (time_id INTEGER PRIMARY KEY, the_year INTEGER, quarter TEXT,
                          fiscal_year TEXT);
INSERT INTO time_by_day VALUES (1, 1997, 'Q1', 'FY97'), (2, 1997, 'Q2', 'FY97'),
                               (3, 1998, 'Q1', 'FY98');
CREATE TABLE product (product_id INTEGER PRIMARY KEY, category TEXT, product_name TEXT);
INSERT INTO product VALUES (1, 'Drink', 'Beer'), (2, 'Drink', 'Wine'), (3, 'Food', 'Bread');
CREATE TABLE sales (time_id INTEGER, product_id INTEGER, units INTEGER);
INSERT INTO sales VALUES (1, 1, 5), (1, 3, 2), (2, 2, 7), (3, 1, 4);
CREATE TABLE stock (product_id INTEGER, on_hand INTEGER);
INSERT INTO stock VALUES (1, 10), (3, 20);
)";

constexpr const char* kCubeSchema = R"(<Schema name="Shop">
  <Dimension name="Product">
    <Hierarchy hasAll="true" primaryKey="product_id">
      <Table name="product"/>
      <Level name="Category" column="category" uniqueMembers="true"/>
      <Level name="Product Name" column="product_name"/>
    </Hierarchy>
  </Dimension>
  <Cube name="Sales">
    <Table name="sales"/>
    <Dimension name="Time" type="TimeDimension" foreignKey="time_id">
      <Hierarchy hasAll="true" primaryKey="time_id">
        <Table name="time_by_day"/>
        <Level name="Year" column="the_year" type="Numeric" uniqueMembers="true"/>
        <Level name="Quarter" column="quarter"/>
      </Hierarchy>
      <Hierarchy name="Fiscal" hasAll="false" primaryKey="time_id">
        <Table name="time_by_day"/>
        <Level name="Fiscal Year" column="fiscal_year" uniqueMembers="true"/>
      </Hierarchy>
    </Dimension>
    <DimensionUsage name="Product" source="Product" foreignKey="product_id"/>
    <Measure name="Unit Sales" column="units" aggregator="sum" formatString="#,###"/>
    <Measure name="Sales Count" column="units" aggregator="count" visible="false"/>
    <CalculatedMember name="Average Units" dimension="Measures"
                      formula="[Measures].[Unit Sales] / [Measures].[Sales Count]"/>
  </Cube>
  <Cube name="Stock" caption="Stock on hand">
    <Table name="stock"/>
    <DimensionUsage name="Product" source="Product" foreignKey="product_id"/>
    <Measure name="Units On Hand" column="on_hand" aggregator="max"/>
  </Cube>
</Schema>
)";

// One row of a rowset: field name to value.
using Row = std::map<std::string, Variant>;

class OlapSchemaRowsets : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string database = program_.Home().Path() + "shop.db";
        ASSERT_EQ(ExecuteSqlite(database, kStarSchema), "");
        const std::string schema = program_.Home().Write("shop.xml", kCubeSchema);
        connection_.Open("Provider=Orvik.Cube;Data Source=" + database + ";Catalog=" + schema);
    }

    // Opens the rowset `schemaId` restricted to `cube` and reads it whole.
    std::vector<Row> Open(const std::string& schemaId, const std::string& cube = "") {
        rowset_.OpenSchema(CADORecordset::schemaProviderSpecific, cube, schemaId);
        return ReadAll();
    }

    std::vector<Row> ReadAll() {
        std::vector<Row> rows;
        for (rowset_.MoveFirst(); !rowset_.IsEOF(); rowset_.MoveNext()) {
            Row row;
            for (int i = 0; i < rowset_.GetFieldCount(); ++i)
                rowset_.GetFieldValue(i, row[rowset_.GetFieldName(i)]);
            rows.push_back(std::move(row));
        }
        return rows;
    }

    std::vector<std::string> FieldNames() {
        std::vector<std::string> names;
        for (int i = 0; i < rowset_.GetFieldCount(); ++i) names.push_back(rowset_.GetFieldName(i));
        return names;
    }

    static std::string Text(const Row& row, const std::string& field) {
        const Variant& value = row.at(field);
        if (value.IsNull()) return "<null>";
        if (value.Type() == VariantType::String) return value.AsString();
        if (value.Type() == VariantType::Bool) return value.AsInt64() ? "True" : "False";
        return std::to_string(value.AsInt64());
    }

    static std::vector<std::string> Column(const std::vector<Row>& rows, const std::string& field) {
        std::vector<std::string> values;
        for (const Row& row : rows) values.push_back(Text(row, field));
        return values;
    }

    TestProgram program_;
    CADODatabase connection_;
    CADORecordset rowset_{&connection_};
};

TEST_F(OlapSchemaRowsets, CubesAreListedAndTheRestrictionPicksOne) {
    std::vector<Row> cubes = Open(kCubesGuid);
    const std::vector<std::string> fields = FieldNames();
    ASSERT_EQ(fields.size(), 19u);
    EXPECT_EQ(fields[2], "CUBE_NAME");
    EXPECT_EQ(fields[15], "CUBE_CAPTION");
    EXPECT_EQ(Column(cubes, "CUBE_NAME"), (std::vector<std::string>{"Sales", "Stock"}));
    EXPECT_EQ(Column(cubes, "CUBE_CAPTION"), (std::vector<std::string>{"Sales", "Stock on hand"}));
    EXPECT_EQ(Text(cubes[0], "CUBE_TYPE"), "CUBE");
    EXPECT_TRUE(cubes[0].at("CATALOG_NAME").IsNull());

    // Names work as well as GUIDs, and neither minds case; so does the cube restriction.
    cubes = Open("mdschema_Cubes", "stock");
    EXPECT_EQ(Column(cubes, "CUBE_NAME"), (std::vector<std::string>{"Stock"}));
    EXPECT_TRUE(Open(kCubesGuid, "No Such Cube").empty());
    EXPECT_EQ(rowset_.GetFieldCount(), 19);
}

TEST_F(OlapSchemaRowsets, DimensionsHierarchiesAndLevelsOfOneCube) {
    const std::vector<Row> dimensions = Open(kDimensionsGuid, "Sales");
    EXPECT_EQ(Column(dimensions, "DIMENSION_UNIQUE_NAME"),
              (std::vector<std::string>{"[Measures]", "[Time]", "[Product]"}));
    EXPECT_EQ(Column(dimensions, "DIMENSION_TYPE"), (std::vector<std::string>{"2", "1", "3"}));
    EXPECT_EQ(Column(dimensions, "DIMENSION_ORDINAL"), (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(Text(dimensions[1], "DEFAULT_HIERARCHY"), "[Time]");
    EXPECT_EQ(Open(kDimensionsGuid, "Stock").size(), 2u);  // Measures and Product

    const std::vector<Row> hierarchies = Open("MDSCHEMA_HIERARCHIES", "Sales");
    EXPECT_EQ(Column(hierarchies, "HIERARCHY_UNIQUE_NAME"),
              (std::vector<std::string>{"[Measures]", "[Time]", "[Time.Fiscal]", "[Product]"}));
    EXPECT_EQ(Column(hierarchies, "DIMENSION_UNIQUE_NAME"),
              (std::vector<std::string>{"[Measures]", "[Time]", "[Time]", "[Product]"}));
    EXPECT_EQ(Text(hierarchies[1], "DEFAULT_MEMBER"), "[Time].[All Times]");
    EXPECT_EQ(Text(hierarchies[2], "HIERARCHY_NAME"), "Fiscal");

    const std::vector<Row> levels = Open("MDSCHEMA_LEVELS", "Sales");
    EXPECT_EQ(FieldNames()[6], "LEVEL_UNIQUE_NAME");
    EXPECT_EQ(Column(levels, "LEVEL_UNIQUE_NAME"),
              (std::vector<std::string>{"[Measures].[MeasuresLevel]", "[Time].[(All)]",
                                        "[Time].[Year]", "[Time].[Quarter]",
                                        "[Time.Fiscal].[Fiscal Year]", "[Product].[(All)]",
                                        "[Product].[Category]", "[Product].[Product Name]"}));
    EXPECT_EQ(Column(levels, "LEVEL_NUMBER"),
              (std::vector<std::string>{"0", "0", "1", "2", "0", "0", "1", "2"}));
    EXPECT_EQ(Column(levels, "LEVEL_TYPE"),
              (std::vector<std::string>{"0", "1", "0", "0", "0", "1", "0", "0"}));
    EXPECT_EQ(Text(levels[4], "HIERARCHY_UNIQUE_NAME"), "[Time.Fiscal]");
}

TEST_F(OlapSchemaRowsets, MeasuresCarryAggregatorVisibilityAndFormat) {
    const std::vector<Row> measures = Open("MDSCHEMA_MEASURES", "Sales");
    EXPECT_EQ(Column(measures, "MEASURE_UNIQUE_NAME"),
              (std::vector<std::string>{"[Measures].[Unit Sales]", "[Measures].[Sales Count]",
                                        "[Measures].[Average Units]"}));
    // sum, count, calculated
    EXPECT_EQ(Column(measures, "MEASURE_AGGREGATOR"), (std::vector<std::string>{"1", "2", "127"}));
    EXPECT_EQ(Column(measures, "MEASURE_IS_VISIBLE"),
              (std::vector<std::string>{"True", "False", "True"}));
    EXPECT_EQ(Text(measures[0], "DEFAULT_FORMAT_STRING"), "#,###");
    EXPECT_EQ(Text(Open("MDSCHEMA_MEASURES", "Stock")[0], "MEASURE_AGGREGATOR"), "4");
}

TEST_F(OlapSchemaRowsets, MembersComeWithLevelsAndParentsParentsFirst) {
    const std::vector<Row> members = Open(kMembersGuid, "Sales");
    ASSERT_EQ(FieldNames().size(), 23u);
    std::map<std::string, const Row*> byName;
    std::set<std::string> seen;
    for (const Row& row : members) {
        const std::string name = Text(row, "MEMBER_UNIQUE_NAME");
        EXPECT_TRUE(byName.emplace(name, &row).second) << "listed twice: " << name;
        // A parent is always listed before its children.
        const std::string parent = Text(row, "PARENT_UNIQUE_NAME");
        if (parent != "<null>") {
            EXPECT_TRUE(seen.count(parent)) << name;
        }
        seen.insert(name);
    }
    // 3 measures; Time: All, 2 years, 3 quarters; Fiscal: 2 years; Product: All, 2 + 3.
    EXPECT_EQ(members.size(), 3u + 6u + 2u + 6u);

    // level, level number, parent, member type, children, ordinal in its hierarchy
    auto summary = [&](const std::string& name) {
        if (!byName.count(name)) return name + " is missing";
        const Row& row = *byName[name];
        std::string text;
        for (const char* field : {"LEVEL_UNIQUE_NAME", "LEVEL_NUMBER", "PARENT_UNIQUE_NAME",
                                  "MEMBER_TYPE", "CHILDREN_CARDINALITY", "MEMBER_ORDINAL"})
            text += (text.empty() ? "" : " ") + Text(row, field);
        return text;
    };
    EXPECT_EQ(summary("[Time].[All Times]"), "[Time].[(All)] 0 <null> 2 2 0");
    EXPECT_EQ(summary("[Time].[1997]"), "[Time].[Year] 1 [Time].[All Times] 1 2 1");
    EXPECT_EQ(summary("[Time].[1997].[Q1]"), "[Time].[Quarter] 2 [Time].[1997] 1 0 2");
    EXPECT_EQ(summary("[Time].[1998].[Q1]"), "[Time].[Quarter] 2 [Time].[1998] 1 0 5");
    EXPECT_EQ(summary("[Time.Fiscal].[FY98]"), "[Time.Fiscal].[Fiscal Year] 0 <null> 1 0 1");
    EXPECT_EQ(summary("[Product].[Drink].[Wine]"),
              "[Product].[Product Name] 2 [Product].[Drink] 1 0 3");
    EXPECT_EQ(summary("[Measures].[Unit Sales]"), "[Measures].[MeasuresLevel] 0 <null> 3 0 0");
    EXPECT_EQ(summary("[Measures].[Average Units]"), "[Measures].[MeasuresLevel] 0 <null> 4 0 2");
    const Row& quarter = *byName.at("[Time].[1997].[Q1]");
    EXPECT_EQ(Text(quarter, "MEMBER_NAME"), "Q1");
    EXPECT_EQ(Text(quarter, "PARENT_LEVEL"), "1");
    EXPECT_EQ(Text(quarter, "DIMENSION_UNIQUE_NAME"), "[Time]");

    // Requery lists the same rowset again rather than running the schema id as MDX.
    const long count = rowset_.GetRecordCount();
    ASSERT_TRUE(rowset_.Requery());
    EXPECT_EQ(rowset_.GetRecordCount(), count);
    EXPECT_EQ(Column(ReadAll(), "MEMBER_UNIQUE_NAME"), Column(members, "MEMBER_UNIQUE_NAME"));

    const std::vector<Row> stock = Open("MDSCHEMA_MEMBERS", "Stock");
    for (const Row& row : stock)
        EXPECT_EQ(Text(row, "CUBE_NAME"), "Stock") << Text(row, "MEMBER_UNIQUE_NAME");
    EXPECT_EQ(stock.size(), 1u + 6u);
}

TEST_F(OlapSchemaRowsets, KpisAreEmptyAndUnknownRowsetsAreRefused) {
    EXPECT_TRUE(Open(kKpisGuid, "Sales").empty());
    const std::vector<std::string> fields = FieldNames();
    ASSERT_EQ(fields.size(), 19u);
    // The KPI list reads these by position.
    EXPECT_EQ(fields[2], "CUBE_NAME");
    EXPECT_EQ(fields[5], "KPI_CAPTION");
    EXPECT_EQ(fields[14], "KPI_WEIGHT");
    EXPECT_EQ(fields[16], "KPI_PARENT_KPI_NAME");
    EXPECT_TRUE(rowset_.IsEOF());

    auto refusal = [&](const std::string& schemaId) {
        try {
            rowset_.OpenSchema(CADORecordset::schemaProviderSpecific, "", schemaId);
        } catch (const CADOException& error) {
            EXPECT_EQ(error.GetError(), AdoError::FeatureNotAvailable) << schemaId;
            EXPECT_FALSE(rowset_.GetLastErrorString().empty());
            EXPECT_FALSE(rowset_.IsOpen());
            return error.GetErrorMessage();
        }
        ADD_FAILURE() << schemaId << " was accepted";
        return std::string();
    };
    const std::string unknown = refusal("{C8B522D8-5CF3-11CE-ADE5-00AA0044773E}");
    EXPECT_NE(unknown.find("C8B522D8-5CF3-11CE-ADE5-00AA0044773E"), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("MDSCHEMA_MEMBERS"), std::string::npos) << unknown;
    // A name from a report file cannot break the message into lines.
    EXPECT_EQ(refusal("MDSCHEMA_CUBES\nforged line").find('\n'), std::string::npos);
    EXPECT_NE(refusal("MDSCHEMA_PROPERTIES").find("MDSCHEMA_PROPERTIES"), std::string::npos);
    refusal("");

    // A SQL database has no OLAP rowsets.
    CADODatabase sql;
    sql.Open("Provider=SQLite;Data Source=" + program_.Home().Path() + "shop.db");
    CADORecordset rows(&sql);
    EXPECT_THROW(rows.OpenSchema(CADORecordset::schemaProviderSpecific, "", kCubesGuid),
                 CADOException);
}

}  // namespace
}  // namespace orvik::test
