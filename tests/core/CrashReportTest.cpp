#include "core/CrashReport.h"

#include <gtest/gtest.h>

#include <ctime>

#include "core/Log.h"

namespace orvik {
namespace {

// The handler formats the date without the C library; it must agree with the log's own lines,
// whatever the moment and the zone.
TEST(CrashReport, LogPrefixMatchesTheLogsOwnLayoutAtAnyMoment) {
    const std::time_t moments[] = {0,
                                   951782400 /* 2000-02-29 */,
                                   1709164799 /* 2024-02-28 23:59:59 */,
                                   1735689599 /* 2024-12-31 23:59:59 */,
                                   4102444800 /* 2100-01-01 */,
                                   1796640000};
    for (const long offset : {0L, 3 * 3600L, -5 * 3600L - 1800L, 14 * 3600L}) {
        for (const std::time_t moment : moments) {
            const std::time_t shifted = moment + offset;
            struct tm local {};
            gmtime_r(&shifted, &local);
            std::string expected = FormatLogLine("", 77, local);
            expected.pop_back();  // the line break
            char prefix[64];
            const size_t length = FormatCrashLogPrefix(prefix, sizeof prefix, moment, offset, 77);
            EXPECT_EQ(std::string(prefix, length), expected) << moment << " " << offset;
        }
    }
    // A buffer too small is cut, never overrun.
    char tiny[8] = "xxxxxxx";
    EXPECT_LT(FormatCrashLogPrefix(tiny, 4, 0, 0, 1), 4u);
}

TEST(CrashReport, NamesTheSignalAndTheStepOnOneLine) {
    EXPECT_EQ(CrashLine(11, "Bad"), "terminated by signal 11 while running step Bad");
    EXPECT_EQ(CrashLine(6, ""), "terminated by signal 6");
}

}  // namespace
}  // namespace orvik
