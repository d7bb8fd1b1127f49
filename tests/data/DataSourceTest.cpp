// Data sources end to end against each provider: connecting, running queries, reading the result
// through the accessors, and every way a report can go wrong on the way.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "DataTestSupport.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "model/OvInfoPrm.h"
#include "model/Registries.h"
#include "model/Report.h"

namespace orvik::test {
namespace {

using DataSource = ProviderTest;

TEST_P(DataSource, ValuesOfEachTypeReadAsTheirTexts) {
    setenv("LC_ALL", "C", 1);
    Exec(
        "CREATE TABLE v (id integer, big bigint, r double precision, n numeric(10,2), "
        "d date, ts timestamp, s varchar(40), b boolean)");
    Exec(
        "INSERT INTO v VALUES (1, 5000000000, -1234.5, 1234.5, '2024-03-01', "
        "'2024-03-01 10:30:00', '  Прод. сумма  итого', true)");
    Exec("INSERT INTO v VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
    auto source = MakeSource("SELECT id, big, r, n, d, ts, s, b FROM v ORDER BY id");
    ASSERT_EQ(source->OpenConnectDS(Ctx(), true), 1) << LastMessage();
    ASSERT_EQ(source->GetDSRowCount(Ctx()), 2);
    ASSERT_EQ(source->GetDSColCount(), 8);
    EXPECT_EQ(source->GetDSCol2Count(), 1);
    EXPECT_EQ(source->GetDSHeader(3), "n");

    EXPECT_EQ(source->GetDSvarRC(Ctx(), 1, 0).Type(), VariantType::I4);
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 0), "1");
    EXPECT_EQ(source->GetDSvarRC(Ctx(), 1, 1).Type(), VariantType::I8);
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 1), "5000000000");
    EXPECT_EQ(source->GetDSvarRC(Ctx(), 1, 2).Type(), VariantType::R8);
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 2), "-1 234.50");
    EXPECT_EQ(source->GetDSvarRC(Ctx(), 1, 3).Type(), VariantType::Decimal);
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 3), "1234.50");
    EXPECT_EQ(source->GetDSvarRC(Ctx(), 1, 4).Type(), VariantType::Date);
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 4), "03/01/24");
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 5), "03/01/24 10:30:00");
    // Leading blanks go and the double space becomes one; "Прод." stays, as no number follows.
    EXPECT_EQ(source->GetDSvarRC(Ctx(), 1, 6).AsString(), "  Прод. сумма  итого");
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 6), "Прод. сумма итого");
    EXPECT_EQ(source->GetDSvarRC(Ctx(), 1, 7).Type(), VariantType::Bool);
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 7), "True");
    for (int col = 1; col < 8; ++col) {
        EXPECT_TRUE(source->GetDSvarRC(Ctx(), 2, col).IsNull()) << col;
        EXPECT_EQ(source->GetDSTextRC(Ctx(), 2, col), "") << col;
    }
    EXPECT_TRUE(program_->Front().Messages.empty()) << LastMessage();
}

// SQLite keeps NUMERIC values as binary reals; they are read back rounded the way printf
// rounds the stored double, to the declared scale or to the 15 digits a double holds.
TEST_P(DataSource, RealsInDecimalColumnsRoundAsPrintfDoes) {
    if (!IsSqlite()) GTEST_SKIP() << "PostgreSQL stores NUMERIC exactly";
    Exec("CREATE TABLE m (a numeric(10,2), b numeric, c numeric(6,0))");
    Exec("INSERT INTO m VALUES (2.675, 0.30000000000000004, -0.5)");
    Exec("INSERT INTO m VALUES (1e300, 1e-7, 2.5)");
    auto source = MakeSource("SELECT a, b, c FROM m");
    ASSERT_EQ(source->OpenConnectDS(Ctx(), true), 1) << LastMessage();
    EXPECT_EQ(source->GetDSvarRC(Ctx(), 1, 0).Type(), VariantType::Decimal);
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 0), "2.67");  // the double lies just below 2.675
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 1), "0.3");
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 2), "0");  // -0.5 rounds to even: no "-0"
    // Too wide for a decimal: the real stays a real.
    EXPECT_EQ(source->GetDSvarRC(Ctx(), 2, 0).Type(), VariantType::R8);
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 2, 2), "2");
}

TEST_P(DataSource, LongAndCyrillicTextSurvivesBothWays) {
    // Longer than one read from the driver, so the pieces must join without losing characters.
    std::string longText;
    while (longText.size() < 30000)
        longText += "Отчёт за квартал №" + std::to_string(longText.size()) + "; ";
    Exec("CREATE TABLE notes (id integer, body text, amount numeric(10,2))");
    Exec("INSERT INTO notes VALUES (1, '" + longText + "', 12)");
    auto source = MakeSource("SELECT body, 'Привет, мир' AS приветствие, amount FROM notes");
    ASSERT_EQ(source->OpenConnectDS(Ctx(), true), 1) << LastMessage();
    EXPECT_EQ(source->GetDSvarRC(Ctx(), 1, 0).AsString(), longText);
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 1), "Привет, мир");
    EXPECT_EQ(source->GetDSHeader(1), "приветствие");
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 2),
              "12.00");  // a whole number keeps the column's scale
}

TEST_P(DataSource, StatementsSplitAtSemicolonsKeepTheLastResult) {
    Exec("CREATE TABLE log (n integer)");
    // Two statements: both run, the second one's rows are the result.
    auto source = MakeSource("INSERT INTO log VALUES (1);SELECT n, n * 10 AS tenfold FROM log");
    ASSERT_EQ(source->OpenConnectDS(Ctx(), true), 1) << LastMessage();
    EXPECT_EQ(source->GetDSRowCount(Ctx()), 1);
    EXPECT_EQ(source->GetDSHeader(1), "tenfold");
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 1), "10");

    // A trailing ";" (and the blanks after it) runs nothing more: the insert happens once.
    source->Qry.Value = "INSERT INTO log VALUES (2);  ";
    EXPECT_EQ(source->OpenRSDS(Ctx()), 1) << LastMessage();
    EXPECT_EQ(source->GetDSRowCount(Ctx()), 0);  // an INSERT has no rows to show
    source->Qry.Value = "SELECT count(*) AS c FROM log WHERE n = 2";
    ASSERT_EQ(source->OpenRSDS(Ctx()), 1);
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 0), "1");

    // Nor does a final ";" followed by a line break, as query editors leave it: one row back.
    source->Qry.Value = "SELECT n FROM log WHERE n = 2;\r\n";
    ASSERT_EQ(source->OpenRSDS(Ctx()), 1) << LastMessage();
    EXPECT_EQ(source->GetDSRowCount(Ctx()), 1);
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 0), "2");

    // A ";" at the very start separates nothing: the whole text goes as one statement.
    source->Qry.Value = ";SELECT 7 AS seven";
    ASSERT_EQ(source->OpenRSDS(Ctx()), 1) << LastMessage();
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 0), "7");
}

// A parameter value reaches the database as the one value it is, in a string and in bare SQL,
// and a ";" inside it splits no statement, on each database's own reading of quotes.
TEST_P(DataSource, ParameterValuesArriveAsOneValue) {
    Exec("CREATE TABLE log (n integer)");
    CReport& report = program_->Context().Report();
    report.StartNew();
    COvInfoPrm& prm = AddParameter(report, "P", "");
    const std::string query = std::string("SELECT '`P' AS a, `P AS b, \"`P\"") +
                              (IsSqlite() ? "" : ", E'`P' AS c") + " FROM (SELECT 1 AS \"`P\") q";
    for (const char* value : {"x'; DROP TABLE log; --", "a\\'; DROP TABLE log; --", "\\", "'",
                              "\"; DROP TABLE log; --", "*/ --", "a;b"}) {
        SCOPED_TRACE(value);
        prm.PrmVal.Value = value;
        auto source = MakeSource(query);
        ASSERT_EQ(source->OpenConnectDS(Ctx(), true), 1) << LastMessage();
        ASSERT_EQ(source->GetDSRowCount(Ctx()), 1);
        EXPECT_EQ(source->GetDSvarRC(Ctx(), 1, 0).AsString(), value);
        EXPECT_EQ(source->GetDSvarRC(Ctx(), 1, 1).AsString(), value);
        EXPECT_EQ(source->GetDSvarRC(Ctx(), 1, 2).Type(), VariantType::I4);
        if (!IsSqlite()) {
            EXPECT_EQ(source->GetDSvarRC(Ctx(), 1, 3).AsString(), value);
        }
    }
    Exec("INSERT INTO log VALUES (1)");  // the table is still there
}

TEST_P(DataSource, FailuresReturnZeroReportAndLeaveTheSourceUsable) {
    auto source = MakeSource("SELECT no_such_column FROM no_such_table");
    ASSERT_EQ(source->OpenConnectDS(Ctx(), false), 1) << LastMessage();
    EXPECT_EQ(source->OpenRSDS(Ctx()), 0);
    ASSERT_EQ(program_->Front().Messages.size(), 1u);
    const std::string message = LastMessage();
    EXPECT_EQ(message.rfind("COM Error (in file=ovinfods; line=", 0), 0u) << message;
    EXPECT_NE(message.find("no_such_table"), std::string::npos) << message;
    EXPECT_NE(message.find("\n\nText = SELECT no_such_column"), std::string::npos) << message;
    EXPECT_EQ(source->RecordSet, nullptr);
    EXPECT_EQ(source->GetDSRowCount(Ctx()), 0);
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 0), "0");  // the integer 0 of a missing result

    // A failing statement stops the rest of the batch.
    Exec("CREATE TABLE t (n integer)");
    source->Qry.Value = "SELEKT 1;INSERT INTO t VALUES (1)";
    EXPECT_EQ(source->OpenRSDS(Ctx()), 0);
    source->Qry.Value = "SELECT count(*) FROM t";
    ASSERT_EQ(source->OpenRSDS(Ctx()), 1) << LastMessage();
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 0), "0");
    EXPECT_EQ(source->GetDSvarRC(Ctx(), 1, 0).AsInt64(), 0);

    // Reading outside the result is reported and gives the integer 0.
    const size_t before = program_->Front().Messages.size();
    EXPECT_EQ(source->GetDSvarRC(Ctx(), 2, 0).Type(), VariantType::I4);
    EXPECT_EQ(source->GetDSvarRC(Ctx(), 1, 5).AsInt64(), 0);
    EXPECT_EQ(program_->Front().Messages.size(), before + 2);
    EXPECT_EQ(source->GetDSHeader(5), "");
}

TEST_P(DataSource, BadConnectionIsReportedWithoutItsPassword) {
    auto source = MakeSource("SELECT 1");
    if (IsSqlite()) {
        source->DSN.Value = "Provider=SQLite;Data Source=missing.db;Password=hunter2";
    } else {
        // Port 1 on loopback: nothing listens there, so the connection is refused at once.
        source->DSN.Value =
            "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x;"
            "Uid=postgres;Pwd=hunter2";
    }
    EXPECT_EQ(source->OpenConnectDS(Ctx(), true), 0);
    EXPECT_EQ(source->Connection, nullptr);
    const std::string message = LastMessage();
    EXPECT_EQ(message.find("hunter2"), std::string::npos) << message;
    EXPECT_NE(message.find("=***"), std::string::npos) << message;
    ASSERT_FALSE(program_->Front().PaneTexts.empty());
    EXPECT_EQ(program_->Front().PaneTexts.back().second.rfind("ADO Connecting :", 0), 0u);
    EXPECT_EQ(program_->Front().PaneTexts.back().second.find("hunter2"), std::string::npos);
    if (IsSqlite()) {
        EXPECT_NE(message.find("unable to open database file"), std::string::npos) << message;
        EXPECT_FALSE(std::filesystem::exists(program_->Home().Path() + "missing.db"));
    }

    // The same source connects once its string is right.
    source->DSN.Value = connection_;
    EXPECT_EQ(source->OpenConnectDS(Ctx(), true), 1) << LastMessage();
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 0), "1");
}

TEST_P(DataSource, SchemaListsTablesThenColumnsInOrder) {
    Exec("CREATE TABLE beta (y integer, x varchar(10))");
    Exec("CREATE TABLE alpha (z integer)");
    CADORecordset schema(&admin_);
    // Other tests' schemas share the PostgreSQL server: only this test's own rows count.
    auto ownColumns = [&] {
        std::vector<std::string> seen;
        for (; !schema.IsEOF(); schema.MoveNext()) {
            Variant owner, table, column;
            schema.GetFieldValue(1, owner);
            schema.GetFieldValue(2, table);
            schema.GetFieldValue(3, column);
            if (IsSqlite() || owner.AsString() == schema_)
                seen.push_back(table.AsString() + "." + column.AsString());
        }
        return seen;
    };
    ASSERT_TRUE(schema.OpenSchema(CADORecordset::schemaColumns));
    EXPECT_EQ(ownColumns(), (std::vector<std::string>{"alpha.z", "beta.y", "beta.x"}));
    ASSERT_TRUE(schema.OpenSchema(CADORecordset::schemaColumns, "beta"));
    EXPECT_EQ(ownColumns(), (std::vector<std::string>{"beta.y", "beta.x"}));
    ASSERT_TRUE(schema.OpenSchema(CADORecordset::schemaTables));
    std::vector<std::string> tables;
    for (; !schema.IsEOF(); schema.MoveNext()) {
        Variant owner, table;
        schema.GetFieldValue(1, owner);
        schema.GetFieldValue(2, table);
        if (IsSqlite() || owner.AsString() == schema_) tables.push_back(table.AsString());
    }
    EXPECT_EQ(tables, (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_THROW(schema.OpenSchema(CADORecordset::schemaColumns, "", "{2AE44109-0000}"),
                 CADOException);
}

TEST_P(DataSource, CursorMovesAndCountsLikeAStaticCursor) {
    Exec("CREATE TABLE t (n integer)");
    CADORecordset rs(&admin_);
    ASSERT_TRUE(rs.Open("  SELECT n FROM t"));
    EXPECT_EQ(rs.GetQuery(), "SELECT n FROM t");
    EXPECT_EQ(rs.GetRecordCount(), 0);
    EXPECT_TRUE(rs.IsEOF());
    EXPECT_TRUE(rs.IsBOF());
    EXPECT_EQ(rs.GetRecordCount(), 0);  // counting an empty result does not move it
    EXPECT_THROW(rs.MoveNext(), CADOException);
    Variant value;
    EXPECT_THROW(rs.GetFieldValue(0, value), CADOException);
    EXPECT_NE(rs.GetLastErrorString().find("CADORecordset Error\n\tCode = 800a0bcd"),
              std::string::npos)
        << rs.GetLastErrorString();

    Exec("INSERT INTO t VALUES (10)");
    Exec("INSERT INTO t VALUES (20)");
    Exec("INSERT INTO t VALUES (30)");
    ASSERT_TRUE(rs.Requery());
    EXPECT_EQ(rs.GetRecordCount(), 3);
    EXPECT_FALSE(rs.IsBOF());
    rs.SetAbsolutePosition(3);
    ASSERT_TRUE(rs.GetFieldValue("N", value));
    EXPECT_EQ(value.AsInt64(), 30);
    rs.MoveNext();
    EXPECT_TRUE(rs.IsEOF());
    rs.MoveFirst();
    rs.MovePrevious();
    EXPECT_TRUE(rs.IsBOF());
    EXPECT_THROW(rs.SetAbsolutePosition(0), CADOException);
    EXPECT_THROW(rs.SetAbsolutePosition(4), CADOException);
    EXPECT_THROW(rs.GetFieldValue(1, value), CADOException);

    // A command without rows runs, and leaves the recordset closed.
    ASSERT_TRUE(rs.Open("INSERT INTO t VALUES (40)"));
    EXPECT_FALSE(rs.IsOpen());
    EXPECT_THROW(rs.GetRecordCount(), CADOException);
    EXPECT_TRUE(rs.IsEOF());

    ASSERT_TRUE(rs.Open("t", CADORecordset::openTable));
    EXPECT_EQ(rs.GetRecordCount(), 4);
    try {
        rs.Open("t", 7);
        ADD_FAILURE() << "an unknown option was taken";
    } catch (const CADOException& error) {
        EXPECT_EQ(error.GetErrorMessage(), "Unknown parameter. 7");
    }

    // Closing the connection closes what was read from it.
    ASSERT_TRUE(rs.Open("SELECT n FROM t"));
    admin_.Close();
    EXPECT_FALSE(rs.IsOpen());
    EXPECT_THROW(rs.Requery(), CADOException);
}

TEST_P(DataSource, CommandTimeOutStopsARunawayQuery) {
    admin_.SetCommandTimeout(1);
    CADORecordset rs(&admin_);
    const std::string endless =
        IsSqlite() ? "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                     "SELECT count(*) FROM c"
                   : "SELECT pg_sleep(30)";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(rs.Open(endless), CADOException);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    // The connection goes on serving commands afterwards.
    ASSERT_TRUE(rs.Open("SELECT 1"));
    EXPECT_EQ(rs.GetRecordCount(), 1);
}

TEST_P(DataSource, ErrorsGoToTheLogInBatchMode) {
    program_->Context().BatchMode = true;
    auto source = MakeSource("SELECT * FROM nowhere");
    ASSERT_EQ(source->OpenConnectDS(Ctx(), true), 0);
    EXPECT_TRUE(program_->Front().Messages.empty());
    const std::string log = program_->ReadLog();
    EXPECT_NE(log.find("UxError: COM Error (in file=ovinfods; line="), std::string::npos) << log;
    EXPECT_EQ(program_->Context().ErrorCount(), 1);
}

TEST_P(DataSource, ManyRowsAreAllReachableByNumber) {
    Exec("CREATE TABLE big (n integer, label varchar(20))");
    // Built by the database itself so the test does not spend its time on round trips.
    Exec(IsSqlite() ? "INSERT INTO big WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
                      "FROM c WHERE x < 70000) SELECT x, 'row ' || x FROM c"
                    : "INSERT INTO big SELECT x, 'row ' || x FROM generate_series(1, 70000) x");
    auto source = MakeSource("SELECT n, label FROM big ORDER BY n");
    ASSERT_EQ(source->OpenConnectDS(Ctx(), true), 1) << LastMessage();
    ASSERT_EQ(source->GetDSRowCount(Ctx()), 70000);
    for (int row : {70000, 1, 65536, 65537, 256, 257, 33000})
        EXPECT_EQ(source->GetDSTextRC(Ctx(), row, 1), "row " + std::to_string(row));
    // Less than the bare std::string objects one string per cell would take.
    EXPECT_LT(source->RecordSet->MemoryBytes(), 70000u * 2u * sizeof(std::string));
}

INSTANTIATE_TEST_SUITE_P(Providers, DataSource, ::testing::Values("SQLite", "PostgreSQL"),
                         ProviderName);

}  // namespace
}  // namespace orvik::test
