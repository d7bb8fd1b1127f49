// The SQL dialect the cube engine writes in, chosen from what the database calls itself: the
// table of product names, the quoting and literals of each dialect, the SQL Server dialect run
// over SQLite (which reads its brackets), and a PostgreSQL connection whose string names neither
// the database nor a driver by a telling name.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "FoodMart.h"
#include "SmallShop.h"
#include "TestSupport.h"
#include "data/AdoCellSet.h"
#include "data/AdoDatabase.h"
#include "data/AdoRecordset.h"
#include "data/ConnectionString.h"
#include "olap/CellFetcher.h"
#include "olap/CubeModel.h"
#include "olap/MdxEvaluator.h"
#include "olap/MdxParser.h"
#include "olap/NameCase.h"
#include "olap/SqlDialect.h"

namespace orvik::test {
namespace {

using cube::DialectForProduct;
using cube::DialectNamed;

// MariaDB's name may mention MySQL; an unknown database gets the provider's quoting.
TEST(SqlDialect, TheDatabasesOwnNamePicksTheDialect) {
    EXPECT_EQ(DialectForProduct("PostgreSQL").Name, "postgres");
    EXPECT_EQ(DialectForProduct("Microsoft SQL Server").Name, "mssql");
    EXPECT_EQ(DialectForProduct("5.5.5-10.11.6-MariaDB MySQL-compatible").Name, "mariadb");
    EXPECT_EQ(DialectForProduct("DB2/LINUXX8664").Name, "generic");

    const TempDir folder;
    CADODatabase sqlite;
    sqlite.Open("Provider=SQLite;Data Source=" + folder.Write("any.db", ""));
    EXPECT_EQ(&cube::DialectOf(sqlite), DialectNamed("sqlite"));
    const CProviderConnection& provider = sqlite.Provider();
    auto quote = [&](const char* dialect, const char* name) {
        return cube::QuoteIdentifier(*DialectNamed(dialect), name, provider);
    };
    EXPECT_EQ(quote("mssql", "odd]name"), "[odd]]name]");
    EXPECT_EQ(quote("postgres", "say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(quote("sqlite", "odd]name"), "\"odd]name\"");  // brackets cannot hold it there
    EXPECT_EQ(quote("generic", "store"), provider.QuoteIdentifier("store"));

    const Variant text = Variant::MakeString("O'Brien\\");
    EXPECT_EQ(cube::SqlLiteral(*DialectNamed("mssql"), text), "N'O''Brien\\'");
    EXPECT_EQ(cube::SqlLiteral(*DialectNamed("mysql"), text), "'O''Brien\\\\'");
    EXPECT_EQ(cube::SqlLiteral(*DialectNamed("postgres"), Variant::MakeR8(std::nan(""))), "'NaN'");
}

// SQLite reads SQL Server's brackets, so the SQL Server dialect's queries run there for real as
// long as no text literal (N'...') is needed: numbers as keys only.
TEST(SqlDialect, TheSqlServerDialectsQueriesRun) {
    const SmallShop shop;
    const std::string connection = shop.Connection();
    CADODatabase database;
    database.Open("Provider=SQLite;" +
                  ConnectionPair("Data Source", ConnectionKeyValue(connection, "Data Source")));
    const cube::SchemaDefinition schema =
        cube::ReadCubeSchema(ConnectionKeyValue(connection, "Catalog"), "mssql");
    cube::CubeModel model(schema.Cubes.front(), database, DialectNamed("mssql"));
    EXPECT_EQ(model.Quote("store"), "[store]");

    const std::string mdx =
        "SELECT {[Measures].[Amount]} ON COLUMNS, {[Time].[2023], [Time].[2024].[12]} ON ROWS "
        "FROM [Sales]";
    cube::CellFetcher fetcher(model, schema);
    cube::QueryEvaluator evaluator(model, fetcher, mdx);
    const CellSetData data = evaluator.Run(mdx::ParseSelect(mdx));
    ASSERT_EQ(data.Cells.size(), 2u);
    EXPECT_DOUBLE_EQ(data.Cells[0].Value.AsDouble(),
                     shop.Sql("SELECT sum(amount) FROM sales WHERE month_id <= 12"));
    EXPECT_DOUBLE_EQ(data.Cells[1].Value.AsDouble(),
                     shop.Sql("SELECT sum(amount) FROM sales WHERE month_id = 24"));

    // Text keys are Unicode literals, quotes doubled.
    model.Load(*model.Hierarchies()[2]);
    bool found = false;
    for (const cube::Member& member : model.Hierarchies()[2]->Storage)
        if (member.Name == "Mom's Place") found = member.KeySql == "N'Mom''s Place'";
    EXPECT_TRUE(found);
}

// The PostgreSQL ODBC driver, named by its file.
std::string PostgresDriverFile() {
    for (const char* path : {"/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so",
                             "/usr/lib/aarch64-linux-gnu/odbc/psqlodbcw.so",
                             "/usr/lib64/psqlodbcw.so", "/usr/lib/psqlodbcw.so"})
        if (std::filesystem::exists(path)) return path;
    return "";
}

// A schema whose names tell the dialect (its PostgreSQL SQL marks them) over a level of
// PostgreSQL truth values, whose cells need TRUE and FALSE as literals.
const char* const kDialectSchema = R"XML(<?xml version="1.0"?>
<Schema name="Dialect">
  <Cube name="Sales">
    <Table name="sales_fact_1997"/>
    <Dimension name="Store" foreignKey="store_id">
      <Hierarchy hasAll="true" primaryKey="store_id">
        <Table name="store"/>
        <Level name="Coffee Bar" column="coffee_bar" type="Boolean" uniqueMembers="true"/>
        <Level name="Store Name" column="store_name" uniqueMembers="true">
          <NameExpression>
            <SQL dialect="postgres">'pg ' || "store_name"</SQL>
            <SQL dialect="generic">"store_name"</SQL>
          </NameExpression>
        </Level>
      </Hierarchy>
    </Dimension>
    <Measure name="Unit Sales" column="unit_sales" aggregator="sum"/>
  </Cube>
</Schema>
)XML";

double SqlNumber(CADODatabase& database, const std::string& select) {
    CADORecordset rows(&database);
    rows.Open(select);
    Variant value;
    rows.GetFieldValue(0, value);
    return value.AsDouble();
}

TEST(SqlDialectPostgres, TheDriverSaysItIsPostgresWhenTheStringDoesNot) {
    const std::string material = OlapMaterialFolder();
    const std::string odbc = PostgresTestServer();
    const std::string driver = PostgresDriverFile();
    if (material.empty() || odbc.empty() || driver.empty()) {
        if (RunningUnderCi()) FAIL() << "no OLAP test material or PostgreSQL server under CI";
        GTEST_SKIP() << "needs the OLAP test material, ORVIK_TEST_PG_ODBC and psqlodbcw.so";
    }
    TestProgram program(false);
    const std::string owner = FoodMartPostgres(material, odbc);
    CADODatabase setup;
    setup.Open(owner);
    setup.Execute(
        "DO $$BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'cube_reader') THEN "
        "CREATE ROLE cube_reader LOGIN; END IF; END$$");
    setup.Execute("GRANT USAGE ON SCHEMA foodmart TO cube_reader");
    setup.Execute("GRANT SELECT ON ALL TABLES IN SCHEMA foodmart TO cube_reader");

    // The driver by its file, a user of our own: nothing in the string says PostgreSQL.
    std::string reader = owner;
    reader.replace(reader.find("Driver={PostgreSQL Unicode}"), 27, "Driver=" + driver);
    reader.replace(reader.find("Uid=postgres"), 12, "Uid=cube_reader");
    ASSERT_EQ(LowerAscii(reader).find("postgres"), std::string::npos) << reader;
    CADODatabase database;
    database.Open(reader);
    EXPECT_EQ(database.DatabaseProductName(), "PostgreSQL");

    const TempDir folder;
    const std::string cube = "Provider=Orvik.Cube;Data Source=\"" + reader +
                             "\";Catalog=" + folder.Write("dialect.xml", kDialectSchema);
    CADOMDCellSet cells;
    cells.Open(
        "SELECT {[Measures].[Unit Sales]} ON COLUMNS, {[Store].[false], [Store].[true]} "
        "ON ROWS FROM [Sales]",
        cube);
    const std::string sales =
        "SELECT sum(unit_sales) FROM sales_fact_1997 JOIN store USING (store_id) WHERE ";
    EXPECT_DOUBLE_EQ(cells.Cell(0).Value.AsDouble(), SqlNumber(database, sales + "NOT coffee_bar"));
    EXPECT_DOUBLE_EQ(cells.Cell(1).Value.AsDouble(), SqlNumber(database, sales + "coffee_bar"));

    cells.Open("SELECT {[Store].[true].FirstChild} ON COLUMNS FROM [Sales]", cube);
    EXPECT_EQ(cells.Axis(0).Positions.at(0).Members.at(0).Name.rfind("pg ", 0), 0u)
        << cells.Axis(0).Positions[0].Members[0].Name;
}

}  // namespace
}  // namespace orvik::test
