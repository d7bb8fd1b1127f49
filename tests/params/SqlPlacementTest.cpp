// Values that end in quotes and backslashes, placed into SQL and read back by the database itself:
// each must stay the one literal it was placed as, and no statement of its own may run. The
// backslash forms (MySQL strings, PostgreSQL E'...') are read back by their own rules.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <optional>

#include "TestSupport.h"
#include "model/Report.h"
#include "params/ParamSubstitution.h"

namespace orvik {
namespace {

const char* const kValues[] = {
    "x''",
    "x'",
    "x\\'",
    "' OR 1=1 --''",
    "'",
    "\\'",
    "\\",
    "x\\",
    "'')--",
    "'x",
    "''x",
    "'''",
    "a'; DROP TABLE t; --",
    "\\'; DROP TABLE t; --",
    "it's",
    "plain",
};

struct SqliteRun {
    std::string Error;
    std::vector<std::string> Values;  // column v of every row the statements gave
    int TableRows = -1;               // rows of t afterwards; -1 when t is gone
};

// Runs all of `sql` (every statement, as a careless caller would) against a fresh database with
// a table t of two rows.
SqliteRun RunOnSqlite(const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db, "CREATE TABLE t (v text); INSERT INTO t VALUES ('a'), ('b')", nullptr, nullptr,
                 nullptr);
    SqliteRun run;
    char* error = nullptr;
    const auto collect = [](void* into, int columns, char** values, char** names) {
        for (int i = 0; i < columns; ++i)
            if (std::string_view(names[i]) == "v")
                static_cast<SqliteRun*>(into)->Values.push_back(values[i] ? values[i] : "<null>");
        return 0;
    };
    if (sqlite3_exec(db, sql.c_str(), collect, &run, &error) != SQLITE_OK) {
        run.Error = error ? error : "?";
        sqlite3_free(error);
    }
    sqlite3_exec(
        db, "SELECT count(*) FROM t",
        [](void* into, int, char** values, char**) {
            *static_cast<int*>(into) = std::atoi(values[0]);
            return 0;
        },
        &run.TableRows, nullptr);
    sqlite3_close(db);
    return run;
}

// Reads one quoted literal at the start of `text` the way a database with backslash escapes does
// (MySQL strings, PostgreSQL E'...'); the rest after it goes to `rest`. Nothing when the literal
// does not close.
std::optional<std::string> ReadBackslashLiteral(std::string_view text, std::string& rest) {
    if (text.empty() || text.front() != '\'') return std::nullopt;
    std::string value;
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            value += text[++i];
        } else if (text[i] == '\'') {
            if (i + 1 < text.size() && text[i + 1] == '\'') {
                value += '\'';
                ++i;
            } else {
                rest = text.substr(i + 1);
                return value;
            }
        } else {
            value += text[i];
        }
    }
    return std::nullopt;
}

class SqlPlacement : public ::testing::Test {
  protected:
    SqlPlacement() { program_.Context().Report().StartNew(); }

    test::TestProgram program_;
};

TEST_F(SqlPlacement, ValuesEndingInQuotesStayOneLiteral) {
    COvInfoPrm& prm = test::AddParameter(program_.Context().Report(), "P", "");
    struct Case {
        const char* Query;
        const char* Before;
        const char* After;
        bool Bare;  // the placeholder stands in code, not inside the author's quotes
    };
    const Case cases[] = {
        {"SELECT '`P' AS v", "", "", false},
        {"SELECT `P AS v", "", "", true},
        {"SELECT 'a`Pb' AS v", "a", "b", false},
        {"SELECT 'a' || `P || 'b' AS v", "a", "b", true},
        {"SELECT v FROM (SELECT '`P' AS v) WHERE v = '`P'", "", "", false},
        {"SELECT v FROM (SELECT `P AS v) WHERE v IN (`P)", "", "", true},
        {"SELECT `P AS v -- `P\n", "", "", true},
    };
    // "''" already is one literal, as the dates of date expressions are, and goes into code as
    // the empty string it spells; inside the author's quotes it is two quotes.
    std::vector<std::pair<std::string, std::string>> values{{"''", ""}};
    for (const char* value : kValues) values.emplace_back(value, value);
    for (const auto& [value, inCode] : values) {
        prm.PrmVal.Value = value;
        for (const Case& c : cases) {
            const std::string placed =
                DSetParam(program_.Context(), c.Query, SubstitutionTarget::Sql);
            SCOPED_TRACE(std::string(value) + " in " + c.Query + " -> " + placed);
            const SqliteRun run = RunOnSqlite(placed);
            EXPECT_EQ(run.Error, "");
            EXPECT_EQ(run.Values,
                      std::vector<std::string>{c.Before + (c.Bare ? inCode : value) + c.After});
            EXPECT_EQ(run.TableRows, 2);
        }
    }
}

TEST_F(SqlPlacement, BackslashStringsReadBackTheValue) {
    COvInfoPrm& prm = test::AddParameter(program_.Context().Report(), "P", "");
    for (const char* value : kValues) {
        prm.PrmVal.Value = value;
        SCOPED_TRACE(value);
        std::string rest;
        // PostgreSQL's E'...' reads backslashes in that one string.
        const std::string escaped =
            DSetParam(program_.Context(), "E'`P' AS v", SubstitutionTarget::Sql);
        ASSERT_EQ(escaped.rfind("E'", 0), 0u) << escaped;
        EXPECT_EQ(ReadBackslashLiteral(std::string_view(escaped).substr(1), rest), value)
            << escaped;
        EXPECT_EQ(rest, " AS v") << escaped;
        // MySQL reads them in every string, quoted by the author or made a literal bare.
        for (const char* query : {"'`P' AS v", "`P AS v"}) {
            const std::string placed = DSetParam(program_.Context(), query,
                                                 PlacementOptions{SubstitutionTarget::Sql, true});
            rest.clear();
            EXPECT_EQ(ReadBackslashLiteral(placed, rest), value) << placed;
            EXPECT_EQ(rest, " AS v") << placed;
        }
    }
}

}  // namespace
}  // namespace orvik
