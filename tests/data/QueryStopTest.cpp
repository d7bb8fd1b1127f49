// A query that would run for ever ends early, on each provider, through its normal error path:
// when the run is asked to stop (SQLite checks while it runs, an ODBC statement is cancelled from
// the watching thread) and when the QueryTimeout setting's seconds pass.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "DataTestSupport.h"
#include "core/StopRequest.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "model/Registries.h"

namespace orvik::test {
namespace {

using Clock = std::chrono::steady_clock;

// Asks the run to stop `after` from now, as SIGTERM would, and forgets the request at the end.
class StopLater {
  public:
    explicit StopLater(std::chrono::milliseconds after)
        : thread_([after] {
              std::this_thread::sleep_for(after);
              RequestStop(SIGTERM);
          }) {}
    ~StopLater() {
        thread_.join();
        ClearStopRequest();
    }

  private:
    std::thread thread_;
};

class QueryStop : public ProviderTest {
  protected:
    std::string Endless() const {
        return IsSqlite() ? "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                            "SELECT count(*) FROM c"
                          : "SELECT pg_sleep(60)";
    }
};

TEST_P(QueryStop, AStopRequestEndsARunningQueryWithinSeconds) {
    // Without the stop, this time-out would end the query much later and fail the timing below.
    admin_.SetCommandTimeout(30);
    CADORecordset rs(&admin_);
    const auto start = Clock::now();
    std::string message;
    {
        const StopLater stop(std::chrono::milliseconds(300));
        try {
            rs.Open(Endless());
        } catch (const CADOException& error) {
            message = error.what();
        }
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(message, "The query was stopped: the run was terminated by signal 15");
    // Once the request is gone the connection serves commands again.
    ASSERT_TRUE(rs.Open("SELECT 1"));
    EXPECT_EQ(rs.GetRecordCount(), 1);
}

TEST_P(QueryStop, TheQueryTimeoutSettingStopsASourceAndNamesItself) {
    program_->Context().Registries().FindSetting("QueryTimeout")->Value = "1";
    auto source = MakeSource(Endless());
    const auto start = Clock::now();
    EXPECT_EQ(source->OpenConnectDS(Ctx(), true), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    const std::string expected =
        "The query was stopped: it ran longer than 1 s (time-out QueryTimeout) (data source";
    EXPECT_NE(LastMessage().find(expected), std::string::npos) << LastMessage();
    // The next query of the source runs under a fresh limit.
    source->Qry.Value = "SELECT 7";
    ASSERT_EQ(source->OpenRSDS(Ctx()), 1) << LastMessage();
    EXPECT_EQ(source->GetDSTextRC(Ctx(), 1, 0), "7");
}

TEST_P(QueryStop, AStopRequestEndsTheWaitForAnotherProgramsLock) {
    if (!IsSqlite()) GTEST_SKIP() << "the server manages its own locks";
    Exec("CREATE TABLE t (n integer)");
    Exec("BEGIN EXCLUSIVE");
    Exec("INSERT INTO t VALUES (1)");
    program_->Context().Registries().FindSetting("SqliteLockWait")->Value = "30";
    auto source = MakeSource("SELECT count(*) FROM t");
    const auto start = Clock::now();
    {
        const StopLater stop(std::chrono::milliseconds(300));
        EXPECT_EQ(source->OpenConnectDS(Ctx(), true), 0);
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(LastMessage().find("The query was stopped: the run was terminated by signal 15"),
              std::string::npos)
        << LastMessage();
    Exec("ROLLBACK");
}

INSTANTIATE_TEST_SUITE_P(Providers, QueryStop, ::testing::Values("SQLite", "PostgreSQL"),
                         ProviderName);

}  // namespace
}  // namespace orvik::test
