// Substitution of parameters, date expressions, the program folder, options and markers into
// outgoing texts, with parameters set up the way the report loader leaves them: each value
// property appended to the report object under the parameter's name.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>

#include "TestSupport.h"
#include "core/LogText.h"
#include "data/ConnectionString.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "orvik/PlugInApi.h"
#include "params/DateExpression.h"
#include "params/ParamSubstitution.h"
#include "params/SqlScanner.h"

namespace orvik {
namespace {

class ParamSubstitution : public ::testing::Test {
  protected:
    ParamSubstitution() {
        SetClockForTesting([] {
            std::tm now{};
            now.tm_year = 124;  // 2024-03-15
            now.tm_mon = 2;
            now.tm_mday = 15;
            return now;
        });
        program_.Context().Report().StartNew();
    }
    ~ParamSubstitution() override { SetClockForTesting(previous_); }

    COvInfoPrm& AddParam(const std::string& name, const std::string& value) {
        return test::AddParameter(program_.Context().Report(), name, value);
    }

    std::vector<test::RecordedMessage>& Messages() { return program_.Front().Messages; }

    test::TestProgram program_;
    TodayClock previous_ = SetClockForTesting({});
};

TEST_F(ParamSubstitution, Parameters) {
    AddParam("Year", "[2024]");
    AddParam("A", "x");
    AddParam("AB", "never");  // its placeholder's front was already taken by A
    AddParam("Hidden", "h").PrmVal.Flags &= ~PropFlag::Visible;
    EXPECT_EQ(DSetParam(program_.Context(), "where y=`Year or y=`Year+1"),
              "where y='2024' or y='2024'+1");
    EXPECT_EQ(DSetParam(program_.Context(), "`AB `A"), "xB x");
    EXPECT_EQ(DSetParam(program_.Context(), "`Hidden `Nope"), "`Hidden `Nope");
}

TEST_F(ParamSubstitution, BoundParameterUsesTheReferencedValue) {
    COvInfoProp members(nullptr, 0, "Rows", "", "", 0, PropKind::Text);
    members.Value = "[North],[South]";
    COvInfoPrm& region = AddParam("Region", "stale");
    region.PrmVal.Kind = PropKind::Reference;
    region.PrmVal.SelectedCombo = &members;
    EXPECT_EQ(DSetParam(program_.Context(), "in (`Region)"), "in ('North','South')");
}

TEST_F(ParamSubstitution, NamelessParameterLeavesBackquotesAlone) {
    AddParam("", "oops");
    AddParam("Id", "7");
    EXPECT_EQ(DSetParam(program_.Context(), "select `name` from t where id=`Id"),
              "select `name` from t where id=7");
}

TEST_F(ParamSubstitution, ValuesPassThroughTheLaterSteps) {
    AddParam("From", "~дата(d-1)~");
    AddParam("Out", "~Dir~HTML/");
    AddParam("Day", "#Дата#");
    EXPECT_EQ(DSetParam(program_.Context(), "`From `Day"), "'20240314' '20240315'");
    EXPECT_EQ(DSetParam(program_.Context(), "`Out"), program_.Context().ProgramFolder() + "HTML/");
}

TEST_F(ParamSubstitution, DateExpressions) {
    EXPECT_EQ(DSetParam(program_.Context(), "~date(d-1)~ to ~дата()~, ~date(f=%d.%m.%Y;d1)~"),
              "'20240314' to '20240315', 01.03.2024");
    // What an expression gives back can complete an opener begun before it; that one runs too.
    EXPECT_EQ(DSetParam(program_.Context(), "~da~date(f=te()~f=%Y)~ ~date(d1)~"),
              "2024 '20240301'");
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(DSetParam(program_.Context(), "d='~date(m2;d30)~'"), "d='Invalid DateTime'");
    EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(ParamSubstitution, UnterminatedDateExpressionIsReportedAndDefused) {
    EXPECT_EQ(DSetParam(program_.Context(), "a ~date(d-1"), "a ~-date(d-1");
    // Another "~" further on bounds the fragment shown; the rest is still substituted.
    EXPECT_EQ(DSetParam(program_.Context(), "~date(d-1 and ~Dir~"),
              "~-date(d-1 and " + program_.Context().ProgramFolder());
    // Characters, not bytes: the Cyrillic letters at the edge are shown whole.
    EXPECT_EQ(DSetParam(program_.Context(), "~дата(1ддддд"), "~-date(1ддддд");
    ASSERT_EQ(Messages().size(), 3u);
    // The fixed text first, then what is wrong in plain words.
    const std::string why = " (a date expression begun with \"~date(\" has no \")~\" to end it)";
    EXPECT_EQ(Messages()[0].Text, "Ошибочный параметр <~date(d-1>" + why);
    EXPECT_EQ(Messages()[1].Text, "Ошибочный параметр <~date(d-1 and ~D>" + why);
    EXPECT_EQ(Messages()[2].Text, "Ошибочный параметр <~date(1ддд>" + why);
    EXPECT_EQ(program_.Context().ErrorCount(), 3);
}

TEST_F(ParamSubstitution, PlainTextTargetsKeepTheValuesOwnQuotes) {
    COvInfoPrm& prm = AddParam("Customer", "");
    for (const std::string value :
         {"O'Malley Café", "Acme Ltd", "say \"hi\"", "a`b", "'x'", "O\"Malley 'x' `y`"}) {
        SCOPED_TRACE(value);
        prm.PrmVal.Value = value;
        EXPECT_EQ(DSetParam(program_.Context(), "Orders of `Customer since ~date(d-1;f=%d.%m.%Y)~"),
                  "Orders of " + value + " since 14.03.2024");
        EXPECT_EQ(
            DSetParam(program_.Context(), "Orders of `Customer", SubstitutionTarget::MailHeader),
            "Orders of " + value);
        EXPECT_EQ(DSetParam(program_.Context(), "out/`Customer.htm", SubstitutionTarget::FileName),
                  "out/" + value + ".htm");
        EXPECT_EQ(DSetParam(program_.Context(), "<p>`Customer</p>", SubstitutionTarget::Markup),
                  "<p>" + value + "</p>");
    }
}

TEST_F(ParamSubstitution, BrokenDateExpressionsStopWhatGoesOut) {
    AddParam("Day", "~date(y2024m2d30)~");
    const std::string invalid = "Invalid DateTime = <y2024m2d30>; <'%Y%m%d'>; <30>; -1--1--1 (";
    const std::string unended =
        "Ошибочный параметр <~date(d-1> (a date expression begun with \"~date(\" has no \")~\" "
        "to end it)";
    const auto failure = [this](std::string_view text, SubstitutionTarget target) {
        try {
            DSetParam(program_.Context(), text, target);
        } catch (const SubstitutionError& error) {
            return std::string(error.what());
        }
        return std::string("(no error)");
    };
    for (const SubstitutionTarget target :
         {SubstitutionTarget::Sql, SubstitutionTarget::Mdx, SubstitutionTarget::Shell,
          SubstitutionTarget::ConnectionString, SubstitutionTarget::MailHeader,
          SubstitutionTarget::FileName, SubstitutionTarget::Markup}) {
        SCOPED_TRACE(static_cast<int>(target));
        EXPECT_EQ(failure("x ~date(y2024m2d30)~", target).rfind(invalid, 0), 0u);
        EXPECT_EQ(failure("x `Day", target).rfind(invalid, 0), 0u);  // in a value too
        EXPECT_EQ(failure("x ~date(d-1", target), unended);
        EXPECT_EQ(failure("`Day ~date(d-1", target).rfind(invalid, 0), 0u);
    }
    // Nothing was shown: the caller reports the failure of its query, command or mail.
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(program_.Context().ErrorCount(), 0);

    // On the page the text is marked and the page goes on.
    EXPECT_EQ(DSetParam(program_.Context(), "x ~date(d-1"), "x ~-date(d-1");
    EXPECT_EQ(DSetParam(program_.Context(), "x `Day"), "x Invalid DateTime");
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Messages()[0].Text, unended);
}

TEST_F(ParamSubstitution, ADateExpressionInsideAnotherIsAnError) {
    const std::string message =
        "Ошибочный параметр <~date(d-~date(d)~> (a date expression cannot hold another one: "
        "\"~date(\" stands at character 9 of it)";
    EXPECT_EQ(DSetParam(program_.Context(), "a ~date(d-~date(d)~)~ b ~date(d-1)~"),
              "a ~-date(d-~-date(d)~)~ b '20240314'");
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].Text, message);
    try {
        DSetParam(program_.Context(), "where d = ~date(d-~дата(d)~)~", SubstitutionTarget::Sql);
        ADD_FAILURE() << "a nested expression went into a query";
    } catch (const SubstitutionError& error) {
        EXPECT_EQ(error.what(), message);
    }
    // With a parameter in the text the expression is made of pieces; the answer is the same.
    AddParam("N", "1");
    EXPECT_EQ(DSetParam(program_.Context(), "`N ~date(d-`N~date(d)~)~ ~date(d-`N)~"),
              "1 ~-date(d-1~-date(d)~)~ '20240314'");
    EXPECT_THROW(DSetParam(program_.Context(), "`N ~date(d-`N~date(d)~)~", SubstitutionTarget::Sql),
                 SubstitutionError);
}

TEST_F(ParamSubstitution, DeepNestingIsRefusedQuickly) {
    constexpr int kLevels = 100000;
    std::string deep;
    for (int i = 0; i < kLevels; ++i) deep += "~date(d-";
    deep += "1";
    for (int i = 0; i < kLevels; ++i) deep += ")~";
    const auto started = std::chrono::steady_clock::now();
    try {
        DSetParam(program_.Context(), deep, SubstitutionTarget::Sql);
        ADD_FAILURE() << "the nesting went into a query";
    } catch (const SubstitutionError& error) {
        EXPECT_NE(std::string(error.what()).find("stands at character 9 of it"), std::string::npos);
        EXPECT_LT(std::string(error.what()).size(), 1000u);
    }
    const std::string marked = DSetParam(program_.Context(), deep);
    EXPECT_EQ(marked.find("~date("), std::string::npos);
    EXPECT_EQ(marked.size(), deep.size() + kLevels);
    // Openers that never end are marked in one go, and said once.
    const std::string unended =
        DSetParam(program_.Context(), std::string(kLevels, 'x') + deep.substr(0, deep.find('1')));
    EXPECT_EQ(unended.find("~date("), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(Messages().size(), 2u);
}

TEST_F(ParamSubstitution, FolderAndOptions) {
    CRegistries& registries = program_.Context().Registries();
    registries.FindSetting("DefSrvMail")->Value = "";
    EXPECT_EQ(DSetParam(program_.Context(), "~Dir~x.png as ~DefPicFmt~ via ~DefSrvMail~ ~Nope~"),
              program_.Context().ProgramFolder() + "x.png as png via ~DefSrvMail~ ~Nope~");
}

TEST_F(ParamSubstitution, TextsWithoutTilde) {
    // The plug-ins' form: a null text is an empty one.
    EXPECT_EQ(DSetParam(static_cast<const char*>(nullptr)), "");
    EXPECT_EQ(DSetParam(program_.Context(), ""), "");
    EXPECT_EQ(DSetParam(program_.Context(), "#Дата#|#Период_начало#|#Период_конец#|#Date#"),
              "'20240315'|'20240315'|'20240315'|#Date#");
}

// Values that try to leave the spot they are put in, in every way the targets know of.
const std::vector<std::string> kHostileValues = {
    "x'; DROP TABLE t; --",
    "' OR '1'='1",
    "*/ SELECT 2 /*",
    "\n SELECT 2",
    "\"; SELECT 2; --",
    "a\\'b",
    "]; SELECT 2; --",
    "'",
    "$$; SELECT 2; $$",
    "~x'; DELETE FROM t; --~",
    "$(id) `id` ; id",
    "-- comment",
    "line\r\nBcc: victim@example.com",
};

// Runs one statement on an empty in-memory SQLite database: the first column of its only row as
// text, and the column's name. A second statement or a syntax error fails the test.
struct SqliteAnswer {
    std::string Value, Column;
};
SqliteAnswer AskSqlite(const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db, "CREATE TABLE t (v text); INSERT INTO t VALUES ('a'), ('b''c')", nullptr,
                 nullptr, nullptr);
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    SqliteAnswer answer;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, &tail) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db) << " in: " << sql;
    } else {
        EXPECT_EQ(std::string(tail).find_first_not_of(" \n"), std::string::npos)
            << "a second statement in: " << sql;
        if (sqlite3_step(statement) == SQLITE_ROW) {
            const auto* text = sqlite3_column_text(statement, 0);
            answer.Value = text ? reinterpret_cast<const char*>(text) : "";
            answer.Column = sqlite3_column_name(statement, 0);
        }
        EXPECT_EQ(sqlite3_column_count(statement), 1) << sql;
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return answer;
}

TEST_F(ParamSubstitution, SqlValuesStayOneValueWhereverTheyStand) {
    COvInfoPrm& prm = AddParam("P", "");
    for (const std::string& value : kHostileValues) {
        SCOPED_TRACE(value);
        prm.PrmVal.Value = value;
        const auto sql = [this](std::string_view text) {
            return DSetParam(program_.Context(), text, SubstitutionTarget::Sql);
        };
        EXPECT_EQ(AskSqlite(sql("SELECT '`P'")).Value, value);
        EXPECT_EQ(AskSqlite(sql("SELECT 'a`Pb'")).Value, "a" + value + "b");
        EXPECT_EQ(AskSqlite(sql("SELECT `P")).Value, value);
        EXPECT_EQ(AskSqlite(sql("SELECT 1 AS \"`P\"")).Column, value);
        EXPECT_EQ(AskSqlite(sql("SELECT 1 -- `P\n")).Value, "1");
        EXPECT_EQ(AskSqlite(sql("SELECT 1 /* `P */")).Value, "1");
        EXPECT_EQ(AskSqlite(sql("SELECT count(*) FROM t WHERE v = `P")).Value, "0");
        // What the author wrote around the value is still there, byte for byte.
        const std::string around = sql("SELECT 'it''s' AS \"`P\", `P -- `P\n");
        EXPECT_EQ(around.rfind("SELECT 'it''s' AS \"", 0), 0u) << around;
        EXPECT_EQ(SplitSqlStatements(sql("SELECT '`P'; SELECT `P")).size(), 2u);
        EXPECT_EQ(SplitSqlStatements(sql("SELECT 1 /* `P */; SELECT '`P'")).size(), 2u);
    }
    // A name in brackets takes what a name may hold; anything else is refused, not guessed at.
    prm.PrmVal.Value = "region 2";
    EXPECT_EQ(AskSqlite(DSetParam(program_.Context(), "SELECT 1 AS [`P]", SubstitutionTarget::Sql))
                  .Column,
              "region 2");
    prm.PrmVal.Value = "a]; DROP TABLE t; --";
    EXPECT_THROW(DSetParam(program_.Context(), "SELECT [`P] FROM t", SubstitutionTarget::Sql),
                 SubstitutionError);
    prm.PrmVal.Value = "$$; DROP TABLE t; $$";
    EXPECT_THROW(DSetParam(program_.Context(), "SELECT $$`P$$", SubstitutionTarget::Sql),
                 SubstitutionError);
}

TEST_F(ParamSubstitution, SqlValuesKeepWhatTheyMean) {
    AddParam("Regions", "[a],[b'c]");
    AddParam("Num", "-5");
    AddParam("Day", "~date(d-1)~");
    AddParam("Dash", "2024-03-01");
    const auto sql = [this](std::string_view text) {
        return DSetParam(program_.Context(), text, SubstitutionTarget::Sql);
    };
    // A chooser's list becomes a list of literals, a number stays a number, a date expression's
    // quoted date stays one literal.
    EXPECT_EQ(AskSqlite(sql("SELECT count(*) FROM t WHERE v IN (`Regions)")).Value, "2");
    EXPECT_EQ(sql("where d = `Day and n = `Num"), "where d = '20240314' and n = -5");
    AddParam("Quoted", "'it''s'");
    EXPECT_EQ(AskSqlite(sql("SELECT `Quoted")).Value, "it's");
    // Put next to the author's text a value never joins it into one token: "1 --5" would be a
    // comment, "'a''x'" one literal, "E'..'" a literal with escapes.
    EXPECT_EQ(AskSqlite(sql("SELECT 1 -`Num")).Value, "6");
    EXPECT_EQ(sql("SELECT E`Dash"), "SELECT E '2024-03-01'");
    EXPECT_EQ(sql("SELECT '`Dash' FROM t"), "SELECT '2024-03-01' FROM t");
    // Where backslashes escape (MySQL), they are doubled too.
    AddParam("Path", "C:\\x\\' OR 1=1 --");
    EXPECT_EQ(
        DSetParam(program_.Context(), "'`Path'", PlacementOptions{SubstitutionTarget::Sql, true}),
        "'C:\\\\x\\\\'' OR 1=1 --'");
    EXPECT_EQ(DSetParam(program_.Context(), "E'`Path'", SubstitutionTarget::Sql),
              "E'C:\\\\x\\\\'' OR 1=1 --'");
    // Statements are split only at a ";" in code.
    EXPECT_EQ(SplitSqlStatements("select ';'; select \";\" -- ;\n; select $a$;$a$; E'\\';'").size(),
              4u);
}

TEST_F(ParamSubstitution, MdxValuesStayInTheirNameOrString) {
    COvInfoPrm& prm = AddParam("P", "1997]} ON 0 FROM [Sales] --");
    EXPECT_EQ(DSetParam(program_.Context(), "{[Time].[`P]} ON 0", SubstitutionTarget::Mdx),
              "{[Time].[1997]]} ON 0 FROM [Sales]] --]} ON 0");
    prm.PrmVal.Value = "a\"b'c";
    EXPECT_EQ(
        DSetParam(program_.Context(), "StrToMember(\"`P\") '`P' `P // `P", SubstitutionTarget::Mdx),
        "StrToMember(\"a\"\"b'c\") 'a\"b''c' 'a\"b''c' // a\"b'c");
}

// Runs `command` through /bin/sh and gives back the words printf saw, one per line in <>.
std::string ShellWords(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[256];
    while (pipe && fgets(buffer, sizeof buffer, pipe)) out += buffer;
    if (pipe) pclose(pipe);
    return out;
}

TEST_F(ParamSubstitution, CommandValuesAreOneWordEach) {
    COvInfoPrm& prm = AddParam("P", "");
    for (const std::string& value : kHostileValues) {
        SCOPED_TRACE(value);
        prm.PrmVal.Value = value;
        const std::string command =
            DSetParam(program_.Context(), "printf '<%s>\\n' `P \"`P\" '`P' x`Py # `P",
                      SubstitutionTarget::Shell);
        EXPECT_EQ(ShellWords(command),
                  "<" + value + ">\n<" + value + ">\n<" + value + ">\n<x" + value + "y>\n");
    }
    // Plain values stay as they are; a chooser's list is the one word a,b it always was.
    prm.PrmVal.Value = "2024-03-15";
    EXPECT_EQ(DSetParam(program_.Context(), "zip out-`P.zip", SubstitutionTarget::Shell),
              "zip out-2024-03-15.zip");
    prm.PrmVal.Value = "[a],[b]";
    EXPECT_EQ(
        ShellWords(DSetParam(program_.Context(), "printf '<%s>' `P", SubstitutionTarget::Shell)),
        "<a,b>");
    EXPECT_THROW(DSetParam(program_.Context(), "echo \\`P", SubstitutionTarget::Shell),
                 SubstitutionError);
}

TEST_F(ParamSubstitution, ConnectionStringValuesAddNoKey) {
    COvInfoPrm& prm = AddParam("Pwd", "x;Database=/etc/other.db");
    const std::string text =
        DSetParam(program_.Context(), "Provider=SQLite;Pwd=`Pwd;Data Source=a.db",
                  SubstitutionTarget::ConnectionString);
    const auto parts = ParseConnectionString(text);
    ASSERT_EQ(parts.size(), 3u) << text;
    EXPECT_EQ(parts[1].Value, "x;Database=/etc/other.db");
    EXPECT_EQ(ConnectionKeyValue(text, "Data Source"), "a.db");
    prm.PrmVal.Value = "a}b\"c";
    EXPECT_EQ(ConnectionKeyValue(DSetParam(program_.Context(), "Pwd={`Pwd};X=1",
                                           SubstitutionTarget::ConnectionString),
                                 "Pwd"),
              "a}b\"c");
    EXPECT_EQ(ConnectionKeyValue(DSetParam(program_.Context(), "Pwd=\"`Pwd\";X=1",
                                           SubstitutionTarget::ConnectionString),
                                 "Pwd"),
              "a}b\"c");
    prm.PrmVal.Value = "b;Database=x";
    EXPECT_THROW(DSetParam(program_.Context(), "Data Source=/srv/`Pwd.db",
                           SubstitutionTarget::ConnectionString),
                 SubstitutionError);
}

TEST_F(ParamSubstitution, HeaderFileAndMarkupValues) {
    COvInfoPrm& prm = AddParam("P", "Daily\r\nBcc: victim@example.com");
    EXPECT_EQ(DSetParam(program_.Context(), "Report `P", SubstitutionTarget::MailHeader),
              "Report Daily  Bcc: victim@example.com");

    for (const char* bad :
         {"../../etc/passwd", "/etc/passwd", "a/../../b", "..\\x", "a;/etc/x", "*"}) {
        prm.PrmVal.Value = bad;
        EXPECT_THROW(DSetParam(program_.Context(), "/srv/out/`P.htm", SubstitutionTarget::FileName),
                     SubstitutionError)
            << bad;
    }
    prm.PrmVal.Value = "2024/Mar";
    EXPECT_EQ(
        DSetParam(program_.Context(), "/srv/out/`P.htm;~Dir~x.htm", SubstitutionTarget::FileName),
        "/srv/out/2024/Mar.htm;" + program_.Context().ProgramFolder() + "x.htm");

    prm.PrmVal.Value = "<b>North</b><script>alert(1)</script>";
    EXPECT_EQ(
        DSetParam(program_.Context(), "<p onclick=\"go()\">`P</p>", SubstitutionTarget::Markup),
        "<p onclick=\"go()\"><b>North</b></p>");
}

TEST_F(ParamSubstitution, ValuesInsideDateExpressionsAreArithmeticOnly) {
    COvInfoPrm& prm = AddParam("N", "1");
    EXPECT_EQ(DSetParam(program_.Context(), "d >= ~date(d-`N)~", SubstitutionTarget::Sql),
              "d >= '20240314'");
    // A value can neither close the expression nor give it a format that writes code.
    prm.PrmVal.Value = "1)~' OR 1=1 --";
    EXPECT_THROW(DSetParam(program_.Context(), "d >= ~date(d-`N)~", SubstitutionTarget::Sql),
                 SubstitutionError);
    prm.PrmVal.Value = "f=' OR 1=1 OR '";
    EXPECT_THROW(DSetParam(program_.Context(), "d >= ~date(`N)~", SubstitutionTarget::Sql),
                 SubstitutionError);
    EXPECT_EQ(DSetParam(program_.Context(), "~date(`N)~"),
              "' OR 1=1 OR '");  // plain text: as it always was
}

TEST_F(ParamSubstitution, PlainParamsPutValuesAsTheyStandAndSaySo) {
    AddParam("P", "x' OR '1'='1");
    program_.Context().Report().ReportObject->GetPropByName("PlainParams")->Value = "1";
    EXPECT_EQ(DSetParam(program_.Context(), "where a = '`P'", SubstitutionTarget::Sql),
              "where a = 'x' OR '1'='1'");
    EXPECT_EQ(DSetParam(program_.Context(), "echo `P", SubstitutionTarget::Shell),
              "echo x' OR '1'='1");
    const std::string log = program_.ReadLog();
    EXPECT_NE(log.find("PlainParams is set"), std::string::npos) << log;
    EXPECT_EQ(log.find("PlainParams is set"), log.rfind("PlainParams is set")) << "logged once";
}

}  // namespace
}  // namespace orvik
