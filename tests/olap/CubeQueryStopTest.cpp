// A cube query whose evaluation would take minutes ends early, with a message saying why, when the
// run is asked to stop and when the query's time limit passes: the evaluator looks for both in
// its loops, not only the database underneath.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "SmallShop.h"
#include "core/StopRequest.h"
#include "model/OvInfoDS.h"
#include "model/Registries.h"
#include "model/Report.h"

namespace orvik::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Filters inside filters over the 24 months: 24^6 conditions, all evaluation and no SQL once
// the members are read.
std::string Spin() {
    std::string condition = "1 = 1";
    for (int level = 0; level < 6; ++level)
        condition = "Filter([Time].[Month].members, " + condition + ").Count > 0";
    return "WITH MEMBER [Measures].[Spin] AS 'IIf(" + condition +
           ", 1, 0)' SELECT {[Measures].[Spin]} ON COLUMNS FROM [Sales]";
}

class CubeQueryStop : public ::testing::Test {
  protected:
    void TearDown() override { ClearStopRequest(); }
    SmallShop shop_;
};

TEST_F(CubeQueryStop, AStopRequestEndsAnEvaluationWithinSeconds) {
    // The members are read before the stop, so what is stopped is the evaluation itself.
    ASSERT_EQ(shop_.ErrorOf("SELECT {[Time].[Month].members} ON COLUMNS FROM [Sales]"), "");
    std::thread stopper([] {
        std::this_thread::sleep_for(300ms);
        RequestStop(SIGTERM);
    });
    const auto start = Clock::now();
    const std::string error = shop_.ErrorOf(Spin());
    stopper.join();
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(error, "The query was stopped: the run was terminated by signal 15");
    ClearStopRequest();
    EXPECT_EQ(shop_.ErrorOf("SELECT {[Measures].[Amount]} ON COLUMNS FROM [Sales]"), "");
}

TEST_F(CubeQueryStop, TheTimeLimitEndsAnEvaluationAndIsNamed) {
    const auto start = Clock::now();
    std::string error;
    {
        const TimeLimitScope limit(1, "QueryTimeout");
        error = shop_.ErrorOf(Spin());
    }
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(error, "The query was stopped: it ran longer than 1 s (time-out QueryTimeout)");
}

// The program's QueryTimeout setting reaches a cube query of a data source, and the report is
// told which setting stopped which source.
TEST_F(CubeQueryStop, TheQueryTimeoutSettingLimitsAnOlapSource) {
    TestProgram program;
    program.Context().Registries().FindSetting("QueryTimeout")->Value = "1";
    COvInfoDS& source = *program.Context().Report().NewDataSource("Cube");
    source.tpDS.Value = "OLAP";
    program.Context().Registries().ReplaceAppended(source.tpDS, source.Props);
    source.DSN.Value = shop_.Connection();
    source.GetPropByName("bQ")->Value = "1";  // the typed query, not the builder's
    source.Qry.Value = Spin();
    const auto start = Clock::now();
    EXPECT_EQ(source.OpenConnectDS(program.Context(), true), 0);
    EXPECT_LT(Clock::now() - start, 5s);
    ASSERT_FALSE(program.Front().Messages.empty());
    EXPECT_NE(program.Front().Messages.back().Text.find(
                  "The query was stopped: it ran longer than 1 s (time-out QueryTimeout) (data "
                  "source 'Cube')"),
              std::string::npos)
        << program.Front().Messages.back().Text;
}

}  // namespace
}  // namespace orvik::test
