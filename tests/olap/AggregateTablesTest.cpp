// Aggregate tables: how their declarations are read and refused, and that queries really read
// them. Each database test works on a scratch copy of the FoodMart SQLite file whose aggregate
// tables it changes (one number, a column, a whole table): a changed number that shows up in a
// cell proves the aggregate was read, an unchanged answer where no aggregate can serve proves the
// fact table was. Whether the aggregates give the fact table's answers everywhere is MdxCaseTest's
// business: every case runs with them as well.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "FoodMart.h"
#include "MdxCase.h"
#include "TestSupport.h"
#include "data/AdoCellSet.h"
#include "model/OvInfoDS.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "olap/CubeEngine.h"
#include "olap/CubeSchema.h"

namespace orvik::test {
namespace {
namespace fs = std::filesystem;

using cube::AggregateDefinition;
using cube::CubeSchemaError;
using cube::ParseCubeSchema;

// A cube over `sales` with a time and a store dimension and the aggregate declarations `table`
// inside its fact table.
std::string CubeWithAggregates(const std::string& table) {
    return R"XML(<?xml version="1.0"?>
<Schema name="S">
<Cube name="Sales">
<Table name="sales">
)XML" + table +
           R"XML(
</Table>
<Dimension name="Time" foreignKey="time_id">
  <Hierarchy hasAll="false" primaryKey="time_id">
    <Table name="time"/>
    <Level name="Year" column="year" uniqueMembers="true"/>
    <Level name="Month" column="month"/>
  </Hierarchy>
  <Hierarchy name="Weekly" primaryKey="time_id">
    <Table name="time"/>
    <Level name="Week" column="week"/>
  </Hierarchy>
</Dimension>
<Measure name="Amount" column="amount"/>
<Measure name="Buyers" column="customer_id" aggregator="distinct-count"/>
<CalculatedMember name="Twice" dimension="Measures" formula="[Measures].[Amount] * 2"/>
</Cube>
</Schema>
)XML";
}

std::string ErrorOf(const std::string& table) {
    try {
        ParseCubeSchema(CubeWithAggregates(table), "shop.xml", "sqlite");
    } catch (const CubeSchemaError& error) {
        return error.what();
    }
    return "";
}

TEST(AggregateSchema, DeclarationsAreReadWithTheNamesTheyGiveResolved) {
    const auto schema = ParseCubeSchema(CubeWithAggregates(R"XML(
<AggExclude pattern="agg_old_.*" ignorecase="false"/>
<AggName name="agg_month">
  <AggFactCount column="n"/>
  <AggIgnoreColumn column="note"/>
  <AggForeignKey factColumn="customer_id" aggColumn="cust"/>
  <AggMeasure name="[Measures].[Amount]" column="amount_sum"/>
  <AggLevel name="[Time].[Year]" column="y"/>
  <AggLevel name="[Time].[Month]" column="m" collapsed="false"/>
  <AggLevel name="[Time.Weekly].[Week]" column="w"/>
</AggName>
<AggPattern pattern="agg_.*_sales">
  <AggFactCount column="n"/>
  <AggLevel name="[Time].[Weekly].[Week]" column="w"/>
  <AggExclude name="agg_test_sales"/>
</AggPattern>)XML"),
                                        "shop.xml", "sqlite");
    const cube::CubeDefinition& cube = schema.Cubes.at(0);
    ASSERT_EQ(cube.AggregateExcludes.size(), 1u);
    EXPECT_EQ(cube.AggregateExcludes[0].Pattern, "agg_old_.*");
    EXPECT_FALSE(cube.AggregateExcludes[0].IgnoreCase);
    ASSERT_EQ(cube.Aggregates.size(), 2u);
    const AggregateDefinition& named = cube.Aggregates[0];
    EXPECT_EQ(named.Name, "agg_month");
    EXPECT_EQ(named.FactCount, "n");
    ASSERT_EQ(named.ForeignKeys.size(), 1u);
    EXPECT_EQ(named.ForeignKeys[0].FactColumn, "customer_id");
    EXPECT_EQ(named.ForeignKeys[0].AggregateColumn, "cust");
    ASSERT_EQ(named.Measures.size(), 1u);
    EXPECT_EQ(named.Measures[0].Measure, "Amount");
    ASSERT_EQ(named.Levels.size(), 3u);
    EXPECT_EQ(named.Levels[1].Level, "Month");
    EXPECT_FALSE(named.Levels[1].Collapsed);
    EXPECT_EQ(named.Levels[2].Dimension, "Time");
    EXPECT_EQ(named.Levels[2].Hierarchy, "Weekly");
    const AggregateDefinition& pattern = cube.Aggregates[1];
    EXPECT_EQ(pattern.Pattern, "agg_.*_sales");
    EXPECT_EQ(pattern.Levels.at(0).Hierarchy, "Weekly");
    ASSERT_EQ(pattern.Excludes.size(), 1u);
    EXPECT_EQ(pattern.Excludes[0].Name, "agg_test_sales");
    EXPECT_TRUE(schema.Warnings.empty());
}

TEST(AggregateSchema, FoodMartsDeclarationIsRead) {
    ORVIK_NEED_FOODMART(false);
    const std::string material = OlapMaterialFolder();
    const auto schema = cube::ReadCubeSchema(material + "/foodmart/FoodMart.xml", "sqlite");
    const cube::CubeDefinition& sales = schema.Cubes.at(0);
    ASSERT_EQ(sales.Aggregates.size(), 1u);
    EXPECT_EQ(sales.Aggregates[0].ForeignKeys.size(), 4u);
    EXPECT_EQ(sales.Aggregates[0].Measures.size(), 3u);
    EXPECT_EQ(sales.Aggregates[0].Levels.size(), 3u);
    EXPECT_EQ(sales.AggregateExcludes.size(), 4u);
    const auto copy =
        ParseCubeSchema(AggregateSchemaText(ReadFileBytes(material + "/foodmart/FoodMart.xml")),
                        "copy.xml", "sqlite");
    EXPECT_EQ(copy.Cubes.at(0).AggregateExcludes.size(), 3u);
    EXPECT_EQ(copy.Cubes.at(0).Aggregates.size(), 2u);
}

TEST(AggregateSchema, MalformedDeclarationsAreRefusedWithTheLine) {
    const struct {
        const char* Table;
        const char* Said;
    } cases[] = {
        {"<AggName><AggFactCount column=\"n\"/></AggName>", "line 5: <AggName> needs name"},
        {"<AggPattern><AggFactCount column=\"n\"/></AggPattern>", "<AggPattern> needs pattern"},
        {"<AggPattern pattern=\"agg_(\"><AggFactCount column=\"n\"/></AggPattern>",
         "'agg_(' is not a regular expression"},
        {"<AggName name=\"a\"/>", "needs an <AggFactCount"},
        {"<AggName name=\"a\">\n<AggFactCount/></AggName>", "line 6: <AggFactCount> needs column"},
        {"<AggName name=\"a\"><AggFactCount column=\"n\"/>\n<AggForeignKey factColumn=\"x\"/>"
         "</AggName>",
         "line 6: <AggForeignKey> needs aggColumn"},
        {"<AggName name=\"a\"><AggFactCount column=\"n\"/>\n"
         "<AggMeasure name=\"[Measures].[Profit]\" column=\"p\"/></AggName>",
         "line 6: the aggregate measure [Measures].[Profit] is not a stored measure"},
        {"<AggName name=\"a\"><AggFactCount column=\"n\"/>\n"
         "<AggMeasure name=\"[Measures].[Twice]\" column=\"p\"/></AggName>",
         "[Measures].[Twice] is not a stored measure"},
        {"<AggName name=\"a\"><AggFactCount column=\"n\"/>\n"
         "<AggMeasure name=\"Amount\" column=\"p\"/></AggName>",
         "the aggregate measure Amount is not"},
        {"<AggName name=\"a\"><AggFactCount column=\"n\"/>\n"
         "<AggLevel name=\"[Time].[Week]\" column=\"w\"/></AggName>",
         "line 6: the aggregate level [Time].[Week] is not a level of the cube 'Sales'"},
        {"<AggName name=\"a\"><AggFactCount column=\"n\"/>\n"
         "<AggLevel name=\"[Time].[Year\" column=\"y\"/></AggName>",
         "[Time].[Year is not a level"},
        {"<AggName name=\"a\"><AggFactCount column=\"n\"/>\n"
         "<AggLevel name=\"[Time].[Year]\"/></AggName>",
         "<AggLevel> needs column"},
        {"<AggName name=\"a\"><AggFactCount column=\"n\"/>\n"
         "<AggLevel name=\"[Time].[Year]\" column=\"y\" collapsed=\"maybe\"/></AggName>",
         "collapsed=\"maybe\" must be true or false"},
        {"<AggExclude/>", "<AggExclude> needs either a name or a pattern"},
        {"<AggExclude name=\"a\" pattern=\"b\"/>", "needs either a name or a pattern"},
    };
    for (const auto& kase : cases) {
        const std::string error = ErrorOf(kase.Table);
        EXPECT_NE(error.find(std::string("Cube schema shop.xml line ")), std::string::npos)
            << kase.Table;
        EXPECT_NE(error.find(kase.Said), std::string::npos) << kase.Table << "\n -> " << error;
    }
    // An element an aggregate does not know is only a warning.
    const auto schema = ParseCubeSchema(
        CubeWithAggregates("<AggName name=\"a\"><AggFactCount column=\"n\"/><AggAverage/>"
                           "</AggName>"),
        "shop.xml", "sqlite");
    ASSERT_EQ(schema.Warnings.size(), 1u);
    EXPECT_NE(schema.Warnings[0].find("<AggAverage>"), std::string::npos);
}

// A scratch copy of the FoodMart SQLite database, queried through cube connections of its own.
class AggregateQueries : public ::testing::Test {
  protected:
    void SetUp() override {
        ORVIK_NEED_FOODMART(false);
        material_ = OlapMaterialFolder();
        database_ = dir_.Path() + "foodmart.sqlite";
        fs::copy_file(FoodMartSqlite(material_), database_);
        aggregated_ = FoodMartAggregateSchema(material_);
    }

    void Change(const std::string& sql) { ASSERT_EQ(ExecuteSqlite(database_, sql), ""); }

    // The cells of `mdx` over the scratch copy, with the aggregate schema or FoodMart.xml;
    // `notes` and `warnings` get what the connection said.
    std::vector<double> Cells(const std::string& mdx, bool aggregates,
                              std::vector<std::string>* notes = nullptr,
                              std::vector<std::string>* warnings = nullptr) {
        auto connection = OpenCubeConnection(
            FoodMartCubeConnection(material_, database_, false, aggregates ? aggregated_ : ""));
        const CellSetData data = connection->Execute(mdx);
        std::vector<double> values;
        for (const CellSetCell& cell : data.Cells)
            values.push_back(cell.Value.IsEmpty() ? -1 : cell.Value.AsDouble());
        if (notes) *notes = connection->TakeNotes();
        if (warnings) *warnings = connection->TakeWarnings();
        return values;
    }

    static std::string Joined(const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& line : lines) text += line + "\n";
        return text;
    }

    std::string material_;
    TempDir dir_;
    std::string database_;
    std::string aggregated_;
    TestProgram program_{false};
};

constexpr const char* kDrinkInJanuary =
    "SELECT {[Measures].[Unit Sales]} ON COLUMNS FROM [Sales] "
    "WHERE ([Time].[1997].[Q1].[1], [Product].[Drink])";
constexpr const char* kDrinkDepartmentsInJanuary =
    "SELECT {[Measures].[Unit Sales]} ON COLUMNS, [Product].[Drink].Children ON ROWS "
    "FROM [Sales] WHERE [Time].[1997].[Q1].[1]";

TEST_F(AggregateQueries, TheSmallestCoveringAggregateIsReadAndTheFactTableWhereNoneCovers) {
    const double truth = Cells(kDrinkInJanuary, false).at(0);
    ASSERT_GT(truth, 0);
    Change(
        "UPDATE agg_m_family_sales_fact_1997 SET unit_sales = unit_sales + 1000 "
        "WHERE month_of_year = 1 AND product_family = 'Drink';"
        "UPDATE agg_c_special_sales_fact_1997 SET \"UNIT_SALES_SUM\" = \"UNIT_SALES_SUM\" + 7 "
        "WHERE rowid = (SELECT MIN(a.rowid) FROM agg_c_special_sales_fact_1997 a "
        "JOIN product p ON p.product_id = a.\"PRODUCT_ID\" JOIN product_class c "
        "ON c.product_class_id = p.product_class_id "
        "WHERE c.product_department = 'Alcoholic Beverages' AND a.\"TIME_MONTH\" = 1)");
    std::vector<std::string> notes;
    EXPECT_EQ(Cells(kDrinkInJanuary, true, &notes).at(0), truth + 1000);
    EXPECT_NE(Joined(notes).find("the aggregate table agg_m_family_sales_fact_1997 (36 rows)"),
              std::string::npos)
        << Joined(notes);
    EXPECT_EQ(Cells(kDrinkInJanuary, false).at(0), truth) << "FoodMart.xml excludes them";

    // Departments are lost in the small aggregate: the other one joins product to its keys.
    const std::vector<double> departments = Cells(kDrinkDepartmentsInJanuary, true, &notes);
    const std::vector<double> factDepartments = Cells(kDrinkDepartmentsInJanuary, false);
    ASSERT_EQ(departments.size(), factDepartments.size());
    EXPECT_EQ(departments[0], factDepartments[0] + 7) << "Alcoholic Beverages comes first";
    EXPECT_NE(Joined(notes).find("agg_c_special_sales_fact_1997"), std::string::npos);

    // Without it, nothing holds departments.
    Change("DROP TABLE agg_c_special_sales_fact_1997");
    std::vector<std::string> warnings;
    EXPECT_EQ(Cells(kDrinkDepartmentsInJanuary, true, &notes, &warnings), factDepartments);
    EXPECT_NE(Joined(notes).find("the fact table (agg_m_family_sales_fact_1997 lacks "
                                 "[Product].[Product Department]"),
              std::string::npos)
        << Joined(notes);
    EXPECT_NE(Joined(warnings).find("the aggregate table 'agg_c_special_sales_fact_1997' is not "
                                    "in the database"),
              std::string::npos)
        << Joined(warnings);
}

TEST_F(AggregateQueries, ADistinctCountIsReadFromAnAggregateOnlyThroughItsForeignKey) {
    const std::string query =
        "SELECT {[Measures].[Customer Count]} ON COLUMNS, [Product].[Product Family].Members "
        "ON ROWS FROM [Sales] WHERE [Time].[1997].[Q2]";
    const std::vector<double> truth = Cells(query, false);
    std::vector<std::string> notes;
    EXPECT_EQ(Cells(query, true, &notes), truth);
    EXPECT_NE(Joined(notes).find("read from the aggregate table agg_c_special_sales_fact_1997"),
              std::string::npos)
        << Joined(notes);
    // The family aggregate has no customer key: counting its rows would be wrong, so the fact
    // table answers.
    Change("DROP TABLE agg_c_special_sales_fact_1997");
    EXPECT_EQ(Cells(query, true, &notes), truth);
    EXPECT_NE(Joined(notes).find("the fact table (agg_m_family_sales_fact_1997 lacks "
                                 "[Measures].[Customer Count])"),
              std::string::npos)
        << Joined(notes);
}

TEST_F(AggregateQueries, AnAggregateMissingAColumnIsSkippedWithAWarning) {
    const double truth = Cells(kDrinkInJanuary, false).at(0);
    Change(
        "UPDATE agg_m_family_sales_fact_1997 SET unit_sales = unit_sales + 1000;"
        "ALTER TABLE agg_m_family_sales_fact_1997 RENAME COLUMN sales_count TO counted");
    std::vector<std::string> notes, warnings;
    EXPECT_EQ(Cells(kDrinkInJanuary, true, &notes, &warnings).at(0), truth);
    EXPECT_NE(Joined(warnings).find("line "), std::string::npos);
    EXPECT_NE(Joined(warnings).find("the aggregate table 'agg_m_family_sales_fact_1997' has no "
                                    "column sales_count: it is not used"),
              std::string::npos)
        << Joined(warnings);
    EXPECT_EQ(Joined(notes).find("agg_m_family"), std::string::npos) << Joined(notes);
}

TEST_F(AggregateQueries, HostileTableNamesThePatternMatchesAreOnlyQuoted) {
    const double truth = Cells(kDrinkInJanuary, false).at(0);
    Change(
        "CREATE TABLE \"agg_m_x\"\"; DROP TABLE customer; --_sales_fact_1997\" (a INTEGER);"
        "CREATE TABLE \"agg_m_y]_sales_fact_1997\" AS SELECT * FROM agg_m_family_sales_fact_1997 "
        "WHERE month_of_year = 1");
    std::vector<std::string> notes, warnings;
    EXPECT_EQ(Cells(kDrinkInJanuary, true, &notes, &warnings).at(0), truth);
    EXPECT_NE(Joined(warnings).find("has no column fact_count"), std::string::npos)
        << Joined(warnings);
    // The January copy is the smallest aggregate that covers the query: its odd name was read
    // whole.
    EXPECT_NE(Joined(notes).find("agg_m_y]_sales_fact_1997 (3 rows)"), std::string::npos)
        << Joined(notes);
    EXPECT_EQ(Cells("SELECT {[Measures].[Unit Sales]} ON COLUMNS FROM [Sales] WHERE "
                    "[Customers].[USA].[WA]",
                    false)
                  .size(),
              1u)
        << "the customer table is still there";
}

TEST_F(AggregateQueries, RefreshCubeLooksAtTheAggregateTablesAgain) {
    auto connection =
        OpenCubeConnection(FoodMartCubeConnection(material_, database_, false, aggregated_));
    const double before = connection->Execute(kDrinkInJanuary).Cells.at(0).Value.AsDouble();
    // Rebuilt smaller, the copy is now the table to read.
    Change(
        "CREATE TABLE agg_m_small_sales_fact_1997 AS SELECT * FROM agg_m_family_sales_fact_1997 "
        "WHERE month_of_year = 1; UPDATE agg_m_small_sales_fact_1997 SET unit_sales = 5");
    connection->Execute("REFRESH CUBE [Sales]");
    connection->TakeNotes();
    EXPECT_EQ(connection->Execute(kDrinkInJanuary).Cells.at(0).Value.AsDouble(), 5) << before;
    EXPECT_NE(Joined(connection->TakeNotes()).find("agg_m_small_sales_fact_1997 (3 rows)"),
              std::string::npos);
}

// The choices reach the run's log through the OLAP data source, and only when asked for.
TEST(AggregateLog, TheCubeDebugLogSettingWritesTheChoicesToTheLog) {
    ORVIK_NEED_FOODMART(false);
    const std::string material = OlapMaterialFolder();
    TestProgram program;
    COvInfoDS& source = *program.Context().Report().NewDataSource("Cube");
    source.tpDS.Value = "OLAP";
    program.Context().Registries().ReplaceAppended(source.tpDS, source.Props);
    source.DSN.Value = FoodMartCubeConnection(material, FoodMartSqlite(material), false,
                                              FoodMartAggregateSchema(material));
    source.GetPropByName("bQ")->Value = "1";  // the typed query, not the builder's
    source.Qry.Value = kDrinkInJanuary;
    const std::string note = "read from the aggregate table agg_m_family_sales_fact_1997";
    ASSERT_EQ(source.OpenConnectDS(program.Context(), true), 1) << program.ReadLog();
    EXPECT_EQ(program.ReadLog().find(note), std::string::npos);
    program.Context().Registries().FindSetting("CubeDebugLog")->Value = "1";
    // Another cell: the connection keeps those it read.
    source.Qry.Value = std::string(kDrinkInJanuary)
                           .replace(std::string(kDrinkInJanuary).find("[Drink]"), 7, "[Food]");
    ASSERT_EQ(source.OpenConnectDS(program.Context(), true), 1) << program.ReadLog();
    EXPECT_NE(program.ReadLog().find(note), std::string::npos) << program.ReadLog();
}

// How many MDX cases read an aggregate over the cube connection `connectionString`. The aggregate
// runs of the cases prove nothing unless aggregates answer many of them.
void ExpectAggregatesAnswerMostCases(const std::string& material,
                                     const std::string& connectionString) {
    const std::vector<std::string> names = MdxCaseNames(material + "/mdx-cases");
    auto connection = OpenCubeConnection(connectionString);
    size_t answered = 0, queries = 0, fromAggregates = 0;
    for (const std::string& name : names) {
        try {
            connection->Execute(LoadMdxCase(material + "/mdx-cases/" + name + ".mdxcase").Query);
        } catch (const std::exception&) {
            continue;  // MdxCaseTest says why
        }
        const std::vector<std::string> notes = connection->TakeNotes();
        const auto read = std::count_if(notes.begin(), notes.end(), [](const std::string& note) {
            return note.find("read from the aggregate table") != std::string::npos;
        });
        answered += read > 0 ? 1 : 0;
        queries += notes.size();
        fromAggregates += static_cast<size_t>(read);
    }
    std::cerr << "[aggregates] " << answered << " of " << names.size()
              << " cases read an aggregate; " << fromAggregates << " of " << queries
              << " grouped queries\n";
    EXPECT_GE(answered * 2, names.size());
}

TEST_F(AggregateQueries, AggregatesAnswerMostOfTheMdxCases) {
    ExpectAggregatesAnswerMostCases(
        material_, FoodMartCubeConnection(material_, database_, false, aggregated_));
}

TEST(AggregatePostgres, AggregatesAnswerMostOfTheMdxCases) {
    ORVIK_NEED_FOODMART(true);
    const std::string material = OlapMaterialFolder();
    const std::string odbc = PostgresTestServer();
    TestProgram program(false);
    ExpectAggregatesAnswerMostCases(
        material, FoodMartCubeConnection(material, FoodMartPostgres(material, odbc), true,
                                         FoodMartAggregateSchema(material)));
}

}  // namespace
}  // namespace orvik::test
