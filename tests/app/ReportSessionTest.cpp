// A session runs a loaded report: each source once however many sheets show it, the page only
// when a step needs it, and nothing at all for a report that is only read.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "app/ReportSession.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "render/GridBase.h"
#include "render/GridView.h"
#include "tasks/ReportPage.h"

namespace orvik {
namespace {

class ReportSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Context().BatchMode = true;
        database_ = program_.Home().Path() + "data.db";
        sqlite3* db = nullptr;
        sqlite3_open(database_.c_str(), &db);
        sqlite3_exec(db, "create table t (v integer); insert into t values (1)", nullptr, nullptr,
                     nullptr);
        sqlite3_close(db);
    }

    AppContext& Context() { return program_.Context(); }
    std::string PagePath() { return Context().Registries().HtmlFolder + "Orvik.htm"; }

    // A report with one source that returns a fresh random number each time it runs, shown by
    // two sheets, and the given steps under the task "Daily".
    std::string WriteReport(const std::string& steps) {
        return program_.Home().Write(
            "r.ovk",
            "<root><DS><Name>Random</Name><tpDS>SQL</tpDS><DSN>Provider=SQLite;Data "
            "Source=" +
                database_ +
                "</DSN><Qry>select random() as r</Qry></DS>"
                "<ACT><Name>Daily</Name></ACT>" +
                steps +
                "<SHEET><Name>A</Name><cDS>Random</cDS><tpVW>GRID</tpVW></SHEET>"
                "<SHEET><Name>B</Name><cDS>Random</cDS><tpVW>GRID</tpVW></SHEET></root>");
    }

    static std::string Cell(const COvInfoSheet& sheet) {
        if (!sheet.View || !sheet.View->GetGridCtrl()) return "<no grid>";
        return std::string(sheet.View->GetGridCtrl()->GetItemText(1, 0));
    }

    test::TestProgram program_;
    std::string database_;
};

TEST_F(ReportSessionTest, SheetsOfOneSourceShareOneRunOfItsQuery) {
    ReportSession session(Context());
    ASSERT_TRUE(session.Read(WriteReport("")));
    session.PrepareSheets();
    const auto& sheets = Context().Report().Sheets;
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_NE(Cell(*sheets[0]), "");
    // Had the query run once per sheet, the two random numbers would differ.
    EXPECT_EQ(Cell(*sheets[0]), Cell(*sheets[1]));
    session.PrepareSheets();  // a second call runs nothing again
    EXPECT_EQ(Cell(*sheets[0]), Cell(*sheets[1]));
}

TEST_F(ReportSessionTest, ATaskWithoutDataStepsRunsNoQueryAndBuildsNoPage) {
    ReportSession session(Context());
    ASSERT_TRUE(session.Read(
        WriteReport("<ACT><ActParent>0</ActParent><Name>G</Name><AType>GRP</AType></ACT>")));
    EXPECT_EQ(session.RunTask("Daily"), 1);
    EXPECT_EQ(Context().Report().DataSources[0]->Connection, nullptr);
    EXPECT_FALSE(std::filesystem::exists(PagePath()));
}

TEST_F(ReportSessionTest, ACommandBeforeTheExportFindsThePageAndBothSeeOneRun) {
    // The command copies the page the run built for it; the export then writes the page again
    // from the same grids, so both copies carry the same random number.
    const std::string copy = program_.Home().Path() + "before.htm";
    ReportSession session(Context());
    ASSERT_TRUE(session.Read(
        WriteReport("<ACT><ActParent>0</ActParent><Name>Copy</Name><AType>CMD</AType><cmd>cp '" +
                    PagePath() + "' '" + copy +
                    "'</cmd></ACT>"
                    "<ACT><ActParent>0</ActParent><Name>Page</Name><AType>HTML</AType></ACT>")));
    EXPECT_EQ(session.RunTask("Daily"), 1);
    EXPECT_EQ(Context().ErrorCount(), 0) << program_.ReadLog();
    const std::string before = test::ReadFileBytes(copy);
    const std::string after = test::ReadFileBytes(PagePath());
    const std::string value = Cell(*Context().Report().Sheets[0]);
    ASSERT_FALSE(value.empty());
    EXPECT_NE(before.find(value), std::string::npos);
    EXPECT_NE(after.find(value), std::string::npos);
}

// A run writes the plain page to its file as it is made; the bytes must be exactly those of the
// page built whole, in windows-1251, with a reference for a character windows-1251 has not. The
// table is long enough to be written in several pieces.
TEST_F(ReportSessionTest, APageWrittenAsItIsMadeIsThePageBuiltWhole) {
    for (const std::string extra : {"Сумма", "Сумма 中"}) {
        sqlite3* db = nullptr;
        sqlite3_open(database_.c_str(), &db);
        sqlite3_exec(db,
                     ("drop table if exists big; create table big (n integer, name text);"
                      "insert into big with recursive c(x) as (select 1 union all select x + 1 "
                      "from c where x < 12000) select x, 'Имя ' || x from c;"
                      "insert into big values (0, '" +
                      extra + "')")
                         .c_str(),
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
        test::TestProgram program;
        program.Context().BatchMode = true;
        const std::string path = program.Home().Write(
            "big.ovk",
            "<root><DS><Name>Big</Name><tpDS>SQL</tpDS><DSN>Provider=SQLite;Data "
            "Source=" +
                database_ +
                "</DSN><Qry>select * from big</Qry></DS>"
                "<ACT><Name>Daily</Name></ACT>"
                "<ACT><ActParent>0</ActParent><Name>Page</Name><AType>HTML</AType></ACT>"
                "<PRM><Name>Region</Name><PrmVal>Север</PrmVal></PRM>"
                "<SHEET><Name>Big</Name><cDS>Big</cDS><tpVW>GRID</tpVW></SHEET></root>");
        ReportSession session(program.Context());
        ASSERT_TRUE(session.Read(path));
        ASSERT_EQ(session.RunTask("Daily"), 1);
        const std::string page = program.Context().Registries().HtmlFolder + "Orvik.htm";
        const std::string streamed = test::ReadFileBytes(page);
        EXPECT_TRUE(program.Context().Page.TextInFile) << "the page goes to its file";
        EXPECT_EQ(streamed.find("&#20013;") != std::string::npos, extra != "Сумма");

        program.Context().Page.WriteAsBuilt = false;
        ASSERT_EQ(UpdateHTML(program.Context()), 1);
        const std::string whole = test::ReadFileBytes(page);
        EXPECT_FALSE(program.Context().Page.Text.empty());
        ASSERT_GT(whole.size(), 12000u * 20);
        EXPECT_TRUE(streamed == whole) << "sizes " << streamed.size() << " and " << whole.size();
        EXPECT_EQ(program.Context().ErrorCount(), 0) << program.ReadLog();
    }
}

// A page that cannot be written as it is made (the file outgrows the size limit, as on a full
// disk) fails its step with the file and the reason named, and leaves the page before it whole.
TEST_F(ReportSessionTest, APageThatCannotBeWrittenIsAFailedStepAndTheOldPageStays) {
    ReportSession session(Context());
    ASSERT_TRUE(session.Read(
        WriteReport("<ACT><ActParent>0</ActParent><Name>Page</Name><AType>HTML</AType></ACT>")));
    std::ofstream(PagePath()) << "the page before";
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int ran = session.RunTask("Daily");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(Context().ErrorCount(), 1);
    ASSERT_FALSE(program_.Front().Messages.empty());
    EXPECT_EQ(program_.Front().Messages.back().Text,
              "Error write file " + PagePath() + " ! (cannot write: File too large)");
    EXPECT_FALSE(Context().Page.TextInFile);
    EXPECT_EQ(test::ReadFileBytes(PagePath()), "the page before");
    // No half-written temporary file is left beside it.
    int files = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(Context().Registries().HtmlFolder)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

// A link planted where the page goes is replaced, not followed: the file it points at is kept.
TEST_F(ReportSessionTest, APageNeverGoesThroughALinkPlantedInItsPlace) {
    const std::string victim = program_.Home().Write("victim.txt", "precious");
    ReportSession session(Context());
    ASSERT_TRUE(session.Read(
        WriteReport("<ACT><ActParent>0</ActParent><Name>Page</Name><AType>HTML</AType></ACT>")));
    std::filesystem::create_symlink(victim, PagePath());
    EXPECT_EQ(session.RunTask("Daily"), 1);
    EXPECT_EQ(Context().ErrorCount(), 0);
    EXPECT_EQ(test::ReadFileBytes(victim), "precious");
    EXPECT_FALSE(std::filesystem::is_symlink(PagePath()));
    EXPECT_NE(test::ReadFileBytes(PagePath()).find("</HTML>"), std::string::npos);
}

// A value given on the command line is logged as one line, whatever it holds, and the value of a
// parameter named as a secret, or used as a connection's password, is not logged at all.
TEST_F(ReportSessionTest, ParameterValuesCannotForgeLogLinesOrShowSecrets) {
    const std::string path = program_.Home().Write(
        "p.ovk",
        "<root><DS><Name>D</Name><tpDS>SQL</tpDS><DSN>Driver=x;Uid=u;Pwd=`Key</DSN></DS>"
        "<PRM><Name>Region</Name><PrmVal>x</PrmVal></PRM>"
        "<PRM><Name>DbPassword</Name><PrmVal>y</PrmVal></PRM>"
        "<PRM><Name>Key</Name><PrmVal>z</PrmVal></PRM></root>");
    ReportSession session(Context());
    ASSERT_TRUE(session.Read(path));
    ASSERT_TRUE(session.ApplyParameters(
        "Region=North\n06/12/26 06:30:00 (1) : *** Stop Orvik ***;DbPassword=hunter2;"
        "Key=opensesame"));
    EXPECT_EQ(Context().Report().Params[0]->PrmVal.Value,
              "North\n06/12/26 06:30:00 (1) : *** Stop Orvik ***");
    EXPECT_EQ(Context().Report().Params[1]->PrmVal.Value, "hunter2");
    const std::string log = program_.ReadLog();
    EXPECT_NE(log.find("Param Region = North\\n06/12/26 06:30:00 (1) : *** Stop Orvik ***\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("\n06/12/26 06:30:00"), std::string::npos) << log;
    EXPECT_NE(log.find("Param DbPassword = ***\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("hunter2"), std::string::npos) << log;
    // A parameter that a connection string puts into its password is a secret too.
    EXPECT_NE(log.find("Param Key = ***\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("opensesame"), std::string::npos) << log;
}

}  // namespace
}  // namespace orvik
