// Every MDX case over FoodMart, run through the cube provider on SQLite and on PostgreSQL, each
// once over the fact table alone and once with aggregate tables to read from, and compared with
// the result another engine's developers wrote down. Core and edge cases must
// match; a stretch case that does not is skipped with the reason, so a run shows how many of them
// the engine already answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "CellSetPrinter.h"
#include "FoodMart.h"
#include "MdxCase.h"
#include "TestSupport.h"
#include "data/AdoCellSet.h"
#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "olap/OlapConnection.h"

namespace orvik::test {
namespace {

// The one parameter when there are no cases to list, so that the run says why.
constexpr const char* NoMaterial = "no_case_files";

std::vector<std::string> CaseParameters() {
    const std::string material = OlapMaterialFolder();
    std::vector<std::string> names;
    if (!material.empty()) names = MdxCaseNames(material + "/mdx-cases");
    if (names.empty()) names.push_back(NoMaterial);
    return names;
}

std::string CaseTestName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

// Everything the cell set holds, read through its public interface.
CellSetData ReadCellSet(const CADOMDCellSet& cellSet) {
    CellSetData data;
    data.Slicer = cellSet.Slicer();
    size_t cells = 1;
    for (int axis = 0; axis < cellSet.AxisCount(); ++axis) {
        data.Axes.push_back(cellSet.Axis(axis));
        cells *= data.Axes.back().Positions.size();
    }
    for (size_t ordinal = 0; ordinal < cells; ++ordinal) {
        try {
            data.Cells.push_back(cellSet.Cell(static_cast<long>(ordinal)));
        } catch (const CADOException& error) {
            throw CADOException(error.GetError(), "the result has no cell " +
                                                      std::to_string(ordinal) + " of the " +
                                                      std::to_string(cells) + " its axes span");
        }
    }
    return data;
}

class MdxCaseTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        material_ = OlapMaterialFolder();
        if (!material_.empty() && GetParam() != NoMaterial) return;
        const std::string why =
            material_.empty()
                ? "no OLAP test material (looked in $ORVIK_OLAP_DIR, "
                  "$ORVIK_TEST_SOURCE_DIR/../shared/olap and /work/shared/olap)"
                : "the OLAP test material at " + material_ +
                      " was not there when the tests were listed: set ORVIK_OLAP_DIR and rebuild";
        if (RunningUnderCi()) FAIL() << why;
        GTEST_SKIP() << why;
    }

    // Runs the case through the cube provider over `connection` and judges the result by tier.
    void RunCase(const std::string& connection) {
        const MdxCase kase = LoadMdxCase(material_ + "/mdx-cases/" + GetParam() + ".mdxcase");
        CaseComparison comparison;
        try {
            // Held open across both runs, so that the second reads from a warm cell cache.
            const std::shared_ptr<OlapConnection> held = OpenOlapConnection(connection);
            for (const char* run : {"", " (run again, warm cache)"}) {
                CADOMDCellSet cellSet;
                cellSet.Open(kase.Query, connection);
                comparison = CompareCase(kase, PrintCellSet(ReadCellSet(cellSet), kase.Form));
                if (!comparison.Same) {
                    comparison.FirstDifference += run;
                    break;
                }
            }
        } catch (const CADOException& error) {
            comparison.Same = false;
            comparison.FirstDifference = "the query failed: " + error.GetErrorMessage();
        }
        if (comparison.Same) return;
        if (kase.Tier == MdxCaseTier::Stretch)
            GTEST_SKIP() << "stretch case not answered yet: " << comparison.FirstDifference;
        ADD_FAILURE() << MdxCaseTierName(kase.Tier) << " case " << kase.Name << ": "
                      << comparison.FirstDifference << "\n"
                      << comparison.Report << "query:\n"
                      << kase.Query;
    }

    std::string material_;
    TestProgram program_{false};
};

class Sqlite : public MdxCaseTest {};

TEST_P(Sqlite, Case) {
    RunCase(FoodMartCubeConnection(material_, FoodMartSqlite(material_), false));
}

class SqliteAggregates : public MdxCaseTest {};

TEST_P(SqliteAggregates, Case) {
    RunCase(FoodMartCubeConnection(material_, FoodMartSqlite(material_), false,
                                   FoodMartAggregateSchema(material_)));
}

// Every hierarchy read only as far as the facts reach, wherever a query allows it.
class SqliteInPart : public MdxCaseTest {};

TEST_P(SqliteInPart, Case) {
    RunCase(FoodMartCubeConnection(material_, FoodMartSqlite(material_), false) + ";LargeLevel=1");
}

class Postgres : public MdxCaseTest {
  protected:
    void SetUp() override {
        MdxCaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ORVIK_NEED_FOODMART(true);
        server_ = PostgresTestServer();
    }

    std::string server_;
};

TEST_P(Postgres, Case) {
    RunCase(FoodMartCubeConnection(material_, FoodMartPostgres(material_, server_), true));
}

class PostgresInPart : public Postgres {};

TEST_P(PostgresInPart, Case) {
    RunCase(FoodMartCubeConnection(material_, FoodMartPostgres(material_, server_), true) +
            ";LargeLevel=1");
}

class PostgresAggregates : public Postgres {};

TEST_P(PostgresAggregates, Case) {
    RunCase(FoodMartCubeConnection(material_, FoodMartPostgres(material_, server_), true,
                                   FoodMartAggregateSchema(material_)));
}

INSTANTIATE_TEST_SUITE_P(MdxCases, Sqlite, ::testing::ValuesIn(CaseParameters()), CaseTestName);
INSTANTIATE_TEST_SUITE_P(MdxCases, Postgres, ::testing::ValuesIn(CaseParameters()), CaseTestName);
INSTANTIATE_TEST_SUITE_P(MdxCases, SqliteInPart, ::testing::ValuesIn(CaseParameters()),
                         CaseTestName);
INSTANTIATE_TEST_SUITE_P(MdxCases, SqliteAggregates, ::testing::ValuesIn(CaseParameters()),
                         CaseTestName);
INSTANTIATE_TEST_SUITE_P(MdxCases, PostgresInPart, ::testing::ValuesIn(CaseParameters()),
                         CaseTestName);
INSTANTIATE_TEST_SUITE_P(MdxCases, PostgresAggregates, ::testing::ValuesIn(CaseParameters()),
                         CaseTestName);

// Row counts of `tables` through a connection of our own.
std::vector<long long> CountRows(const std::string& connection,
                                 const std::vector<std::string>& tables) {
    CADODatabase database;
    database.Open(connection);
    std::vector<long long> counts;
    for (const std::string& table : tables) {
        CADORecordset rows(&database);
        rows.Open("SELECT count(*) FROM " + table);
        Variant count;
        rows.GetFieldValue(0, count);
        counts.push_back(count.AsInt64());
    }
    return counts;
}

// The PostgreSQL copy must hold what the SQLite one does, or a case failing on one database only
// would be the loader's fault, not the engine's.
TEST(FoodMartPostgres, HoldsTheRowsOfTheSqliteDatabase) {
    ORVIK_NEED_FOODMART(true);
    const std::string material = OlapMaterialFolder();
    const std::string odbc = PostgresTestServer();
    TestProgram program(false);
    const std::vector<std::string> tables = {
        "sales_fact_1997", "inventory_fact_1997", "salary", "customer", "product",
        "employee",        "time_by_day",         "store"};
    const auto sqlite =
        CountRows("Provider=SQLite;Data Source=" + FoodMartSqlite(material), tables);
    const auto postgres = CountRows(FoodMartPostgres(material, odbc), tables);
    EXPECT_EQ(sqlite, postgres) << "tables: sales_fact_1997 inventory_fact_1997 salary customer "
                                   "product employee time_by_day store";
    EXPECT_GT(sqlite.front(), 0);
}

}  // namespace
}  // namespace orvik::test
