// The FoodMart sample star schema as the cube tests see it: the shared OLAP test material found on
// this machine, its SQLite database made once and kept in the build folder, and its tables loaded
// into the throw-away PostgreSQL cluster of a test run. CTest runs every test case as a process of
// its own, two at a time, so each of these is made under a lock by whichever process comes first
// and only read by the others.
#pragma once

#include <string>

namespace orvik::test {

// The folder of the OLAP test material (holding foodmart/ and mdx-cases/): $ORVIK_OLAP_DIR, else
// $ORVIK_TEST_SOURCE_DIR/../shared/olap, else /work/shared/olap; "" when none of them holds it.
std::string OlapMaterialFolder();

// True when the tests run under CI (CI=true), where missing material is a failure, not a skip.
bool RunningUnderCi();

// The recorded XMLA conversations (<material>/xmla); "" when the material or the folder is missing.
std::string XmlaFixtureFolder();

// Skips the test when the recorded XMLA conversations are not there; under CI fails it instead.
#define ORVIK_NEED_XMLA_FIXTURES()                                                       \
    if (::orvik::test::XmlaFixtureFolder().empty()) {                                    \
        if (::orvik::test::RunningUnderCi()) FAIL() << "no XMLA test material under CI"; \
        GTEST_SKIP() << "no XMLA test material (shared/olap/xmla)";                      \
    }

// The PostgreSQL test server's ODBC connection string ($ORVIK_TEST_PG_ODBC); "" when none is set.
std::string PostgresTestServer();

// Why a test that needs the OLAP test material (and, with `postgres`, the PostgreSQL test server)
// cannot run here; "" when it can.
std::string FoodMartMissing(bool postgres);

// Skips the test when what FoodMartMissing names is not there; under CI, where it must be, fails
// it instead.
#define ORVIK_NEED_FOODMART(postgres)                                               \
    if (const std::string orvikMissing = ::orvik::test::FoodMartMissing(postgres);  \
        !orvikMissing.empty()) {                                                    \
        if (::orvik::test::RunningUnderCi()) FAIL() << orvikMissing << " under CI"; \
        GTEST_SKIP() << orvikMissing;                                               \
    }

// The path of the FoodMart SQLite database made from `material` by its loader script; made on
// first use (and again when the loader or its input is newer) in the build folder's test-data/.
// Throws std::runtime_error with the loader's output when it cannot be made.
std::string FoodMartSqlite(const std::string& material);

// Loads the tables FoodMart.xml names into schema "foodmart" of the PostgreSQL database the ODBC
// connection string `odbc` reaches, once per cluster, and returns an ODBC connection string whose
// sessions find them. Needs psql. Throws std::runtime_error with psql's output on failure.
std::string FoodMartPostgres(const std::string& material, const std::string& odbc);

// The cube provider's connection string over `dataSource` (a SQLite file, or an ODBC connection
// string when `odbc` is set) with the FoodMart cube schema of `material`, or the schema file
// `catalog` when given.
std::string FoodMartCubeConnection(const std::string& material, const std::string& dataSource,
                                   bool odbc, const std::string& catalog = {});

// Both databases hold two aggregate tables of sales_fact_1997: agg_c_special_sales_fact_1997 as
// FoodMart.xml declares it (which the schema then excludes), and agg_m_family_sales_fact_1997
// (time by month, product by family, nothing else). This is FoodMart.xml with that exclusion
// dropped and a pattern added that finds the second one: the path of a copy written once.
std::string FoodMartAggregateSchema(const std::string& material);
// The schema text FoodMartAggregateSchema writes, made from FoodMart.xml's `text`.
std::string AggregateSchemaText(std::string text);

}  // namespace orvik::test
