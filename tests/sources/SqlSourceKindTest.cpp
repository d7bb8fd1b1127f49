// How long a SQL source waits: a lock another program holds on a SQLite database is waited for as
// long as the SqliteLockWait setting says, and the error says what was waited for.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>

#include "TestSupport.h"
#include "model/OvInfoDS.h"
#include "model/Registries.h"

namespace orvik::test {
namespace {

TEST(SqlSourceKind, ALockHeldByAnotherProgramIsWaitedForOnlyAsLongAsTheSettingSays) {
    TestProgram program;
    const std::string path = program.Home().Path() + "locked.db";
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder,
                           "create table t (n integer); insert into t values (1);"
                           "begin exclusive; insert into t values (2);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    program.Context().Registries().FindSetting("SqliteLockWait")->Value = "1";

    COvInfoDS source(&program.Context().Registries(), GroupId::DataSource);
    source.tpDS.Value = "SQL";
    source.DSN.Value = "Provider=SQLite;Data Source=" + path;
    source.Qry.Value = "select n from t";
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(source.OpenConnectDS(program.Context(), true), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    ASSERT_FALSE(program.Front().Messages.empty());
    const std::string& message = program.Front().Messages.back().Text;
    EXPECT_NE(message.find("database is locked (another program held its lock on " + path +
                           " for more than 1 s)"),
              std::string::npos)
        << message;

    // Once the other program lets go, the same source reads.
    sqlite3_exec(holder, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    EXPECT_EQ(source.OpenConnectDS(program.Context(), true), 1);
    EXPECT_EQ(source.GetDSRowCount(program.Context()), 2);
}

}  // namespace
}  // namespace orvik::test
