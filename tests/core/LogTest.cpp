#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <regex>

#include "TestSupport.h"
#include "core/Log.h"
#include "data/AdoException.h"
#include "plugin/PlugInRunScope.h"

namespace orvik {
namespace {

struct tm Moment(int year, int month, int day, int hour, int minute, int second) {
    struct tm when = {};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = day;
    when.tm_hour = hour;
    when.tm_min = minute;
    when.tm_sec = second;
    return when;
}

TEST(LogLine, HasTheFixedLayout) {
    EXPECT_EQ(FormatLogLine("hello", 42, Moment(2026, 12, 4, 7, 5, 9)),
              "04/12/26 07:05:09 (42) : hello\n");
    // A leading line break becomes an empty line before the entry; other breaks stay in place.
    EXPECT_EQ(FormatLogLine("\nfirst\nsecond", 1, Moment(2001, 1, 31, 23, 59, 0)),
              "\n31/01/01 23:59:00 (1) : first\nsecond\n");
    EXPECT_EQ(FormatLogLine("", 0, Moment(2026, 6, 1, 0, 0, 0)), "01/06/26 00:00:00 (0) : \n");
}

TEST(Log, AppendsOneLinePerCallWithoutTheSourceFileName) {
    test::TestProgram program(false);
    UxSaveLog(program.Context(), "first", "secret_source_name.cpp", 10);
    UxSaveLog(program.Context(), std::string("\nsecond"), "secret_source_name.cpp", 20);
    const std::string log = program.ReadLog();
    const std::regex layout(
        R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d \(10\) : first\n\n\d\d/\d\d/\d\d \d\d:\d\d:\d\d \(20\) : second\n)");
    EXPECT_TRUE(std::regex_match(log, layout)) << log;
    EXPECT_EQ(log.find("secret_source_name"), std::string::npos);
}

TEST(Log, AnUnwritableLogLosesTheEntrySilently) {
    test::TempDir dir;
    {
        // The log never makes the program folder it lacks.
        AppContext context(AppContextOptions{dir.Path() + "missing/", "/dev/null", nullptr});
        UxSaveLog(context, "lost", __FILE__, __LINE__);
        EXPECT_FALSE(std::filesystem::exists(dir.Path() + "missing"));
    }
    {
        // Something other than a file where the log should be stays as it is.
        std::filesystem::create_directory(dir.Path() + "Orvik18.log");
        AppContext context(AppContextOptions{dir.Path(), "/dev/null", nullptr});
        UxSaveLog(context, "lost", __FILE__, __LINE__);
        EXPECT_TRUE(std::filesystem::is_directory(dir.Path() + "Orvik18.log"));
        EXPECT_TRUE(std::filesystem::is_empty(dir.Path() + "Orvik18.log"));
        std::filesystem::remove(dir.Path() + "Orvik18.log");
    }
    if (geteuid() != 0) {  // root writes into read-only folders anyway
        chmod(dir.Path().c_str(), 0500);
        AppContext context(AppContextOptions{dir.Path(), "/dev/null", nullptr});
        UxSaveLog(context, "lost", __FILE__, __LINE__);
        chmod(dir.Path().c_str(), 0700);
        EXPECT_FALSE(std::filesystem::exists(dir.Path() + "Orvik18.log"));
    }
}

TEST(UxError, MessagesHaveTheExactTexts) {
    const CADOException ado(5, "no such table: sales");
    EXPECT_EQ(UxErrorMessage(ado, "ds.cpp", 7, ""),
              "COM Error (in file=ds.cpp; line=7)\nErrorMessage = no such table: sales");
    EXPECT_EQ(UxErrorMessage(ado, "ds.cpp", 7, "select * from sales"),
              "COM Error (in file=ds.cpp; line=7)\nErrorMessage = no such table: sales"
              "\n\nText = select * from sales");
    const CComError com{-1, "ADOMD", "cube not found"};
    EXPECT_EQ(UxErrorMessage(com, "olap.cpp", 3, nullptr),
              "COM Error (in file=olap.cpp; line=3)\nSource = ADOMD\nDescription = cube not found");
    EXPECT_EQ(UxErrorMessage(com, "olap.cpp", 3, "MDX"),
              "COM Error (in file=olap.cpp; line=3)\nSource = ADOMD\nDescription = cube not found"
              "\n\nText = MDX");
}

TEST(UxError, InBatchModeGoesToTheLogAndCountsAsAnError) {
    test::TestProgram program(false);
    program.Context().BatchMode = true;
    UxError(program.Context(), CADOException(1, "boom"), "ds.cpp", 7, "select 1");
    EXPECT_TRUE(program.Front().Messages.empty());
    EXPECT_EQ(program.Context().ErrorCount(), 1);
    const std::regex line(
        R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d \(\d+\) : UxError: COM Error \(in file=ds\.cpp; line=7\)\nErrorMessage = boom\n\nText = select 1\n)");
    EXPECT_TRUE(std::regex_match(program.ReadLog(), line)) << program.ReadLog();
}

TEST(UxError, InteractivelyShowsAMessageBoxPerForm) {
    test::TestProgram program(false);
    UxError(program.Context(), CADOException(1, "boom"), "a.cpp", 1);
    UxError(program.Context(), CComError{0, "src", "desc"}, "b.cpp", 2, "extra");
    ASSERT_EQ(program.Front().Messages.size(), 2u);
    EXPECT_EQ(program.Front().Messages[0].Icon, MessageBoxIcon::Error);
    EXPECT_EQ(program.Front().Messages[1].Buttons, MessageBoxButtons::OkCancel);
    EXPECT_NE(program.Front().Messages[1].Text.find("Text = extra"), std::string::npos);
    EXPECT_EQ(program.ReadLog(), "");
}

TEST(StatusPane, ReachesTheFrontEnd) {
    test::TestProgram program(false);
    // As a plug-in calls it: inside a call the program makes into the plug-in.
    const PlugInRunScope calling(program.Context());
    SetPaneTextStatBar(1, "Running query");
    SetPaneTextStatBar(0, nullptr);
    ASSERT_EQ(program.Front().PaneTexts.size(), 2u);
    EXPECT_EQ(program.Front().PaneTexts[0], std::make_pair(1, std::string("Running query")));
    EXPECT_EQ(program.Front().PaneTexts[1].second, "");
}

}  // namespace
}  // namespace orvik
