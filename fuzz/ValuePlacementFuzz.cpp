// Fuzzes parameter values against the texts they are substituted into: whatever a value holds,
// the text around it must keep its shape. Each target is checked by a reader that is not the
// placement's own:
// - SQL: SQLite compiles the statement; it must be one read-only statement with one column, and
//   the value must come back from it exactly (a string, a name, a comment that stays a comment);
// - commands: a reader of shell words; the command must split into the same words, the value's
//   words equal to the value, with no expansion, operator or glob anywhere;
// - MDX: a reader of names, strings and comments; the same tokens, the value's equal to it;
// - connection strings: the connection-string reader; the same keys, each value equal to it.
// The first input byte picks the target, the rest is the value.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FuzzProgram.h"
#include "data/ConnectionString.h"
#include "params/ParamSubstitution.h"

namespace {

using orvik::SubstitutionTarget;

orvik::AppContext& Program() {
    static std::unique_ptr<orvik::AppContext> context = orvik::fuzz::MakeProgram();
    return *context;
}

COvInfoPrm& Parameter() {
    static COvInfoPrm& prm = orvik::fuzz::AddParameter(Program().Report(), "P", "");
    return prm;
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// The date steps after the parameters would rewrite a value that holds "~...~" or a marker;
// those values are not what this target is about.
bool IsTakenAsItIs(const std::string& value) {
    const auto count = [&value](char c) { return std::count(value.begin(), value.end(), c); };
    return count('~') < 2 && count('#') < 2 && value.find("~date(") == std::string::npos &&
           value.find("~дата(") == std::string::npos;
}

// --- SQL through SQLite --------------------------------------------------------------------------

sqlite3* Database() {
    static sqlite3* db = [] {
        sqlite3* opened = nullptr;
        sqlite3_open(":memory:", &opened);
        return opened;
    }();
    return db;
}

// Runs `sql`: one read-only statement, one column, one row; gives its value and column name.
void AskSqlite(const std::string& sql, std::string* value, std::string* column) {
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    Check(sqlite3_prepare_v2(Database(), sql.c_str(), static_cast<int>(sql.size()), &statement,
                             &tail) == SQLITE_OK);
    Check(statement != nullptr && sqlite3_stmt_readonly(statement));
    for (; *tail; ++tail) Check(*tail == ' ' || *tail == '\n');
    Check(sqlite3_column_count(statement) == 1);
    Check(sqlite3_step(statement) == SQLITE_ROW);
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    const int bytes = sqlite3_column_bytes(statement, 0);
    if (value) *value = text ? std::string(text, static_cast<size_t>(bytes)) : std::string();
    if (column) *column = sqlite3_column_name(statement, 0);
    sqlite3_finalize(statement);
}

void CheckSql(const std::string& value) {
    const auto sql = [](const char* text) {
        return DSetParam(Program(), text, SubstitutionTarget::Sql);
    };
    std::string got;
    AskSqlite(sql("SELECT '`P'"), &got, nullptr);
    Check(got == value);
    AskSqlite(sql("SELECT 'a`Pb'"), &got, nullptr);
    Check(got == "a" + value + "b");
    AskSqlite(sql("SELECT 1 AS \"`P\""), nullptr, &got);
    Check(got == value);
    AskSqlite(sql("SELECT 1 -- `P\n"), &got, nullptr);
    Check(got == "1");
    AskSqlite(sql("SELECT 1 /* `P */"), &got, nullptr);
    Check(got == "1");
    // In code the value is a literal, a number or a list of literals; in every case one operand.
    AskSqlite(sql("SELECT count(*) WHERE 'zz' NOT IN (`P) OR 1"), &got, nullptr);
    Check(got == "1");
    if (value.empty() || value.front() != '[')
        AskSqlite(sql("SELECT 2 -`P IS NOT NULL"), nullptr, nullptr);
    const bool plainString = !value.empty() && value.front() != '\'' && value.front() != '[' &&
                             value.find_first_not_of("0123456789+-.eE") != std::string::npos;
    if (plainString) {
        AskSqlite(sql("SELECT `P"), &got, nullptr);
        Check(got == value);
    }
}

// --- commands through a reader of shell words
// ------------------------------------------------------

// The words of a simple command as /bin/sh would split them, or nothing when the text holds an
// expansion, an operator, a glob or an unterminated quote.
std::optional<std::vector<std::string>> ShellWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else if (c == '#' && !inWord) {
            while (i < text.size() && text[i] != '\n') ++i;
        } else if (c == '\'') {
            const size_t close = text.find('\'', i + 1);
            if (close == std::string::npos) return std::nullopt;
            word += text.substr(i + 1, close - i - 1);
            i = close;
            inWord = true;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i >= text.size()) return std::nullopt;
                if (text[i] == '"') break;
                if (text[i] == '$' || text[i] == '`') return std::nullopt;
                if (text[i] == '\\' && i + 1 < text.size() &&
                    std::string_view("$`\"\\\n").find(text[i + 1]) != std::string_view::npos)
                    ++i;
                word += text[i];
            }
            inWord = true;
        } else if (c == '\\') {
            if (i + 1 >= text.size()) return std::nullopt;
            word += text[++i];
            inWord = true;
        } else if (std::string_view(";&|<>()$`*?[~").find(c) != std::string_view::npos ||
                   c == '\r') {
            return std::nullopt;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

void CheckShell(const std::string& value) {
    // "\r" is taken as a word character by the shell, but the reader here is strict about it.
    if (value.find('\r') != std::string::npos) return;
    std::string command;
    try {
        command = DSetParam(Program(), "printf '<%s>' `P \"`P\" '`P' x`Py # `P",
                            SubstitutionTarget::Shell);
    } catch (const orvik::SubstitutionError&) {
        Check(false);  // no spot of this command refuses a value
    }
    const auto words = ShellWords(command);
    Check(words.has_value() && words->size() == 6);
    Check((*words)[0] == "printf" && (*words)[1] == "<%s>");
    Check((*words)[3] == value && (*words)[4] == value);
    // A chooser's list and a quoted word are written on purpose in their shell meaning.
    const bool meant = value.size() >= 2 && (value.front() == '[' || value.front() == '\'');
    if (!meant) Check((*words)[2] == value && (*words)[5] == "x" + value + "y");
}

// --- MDX through a reader of its tokens --------------------------------------------------------

struct MdxToken {
    char Kind;  // 'c' code, 'n' [name], 's' string, '-' comment
    std::string Text;
};

std::optional<std::vector<MdxToken>> MdxTokens(const std::string& text) {
    std::vector<MdxToken> tokens;
    const auto code = [&tokens](char c) {
        if (tokens.empty() || tokens.back().Kind != 'c') tokens.push_back({'c', {}});
        tokens.back().Text += c;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '[' || c == '"' || c == '\'') {
            const char close = c == '[' ? ']' : c;
            std::string inside;
            for (++i;; ++i) {
                if (i >= text.size()) return std::nullopt;
                if (text[i] == close) {
                    if (i + 1 < text.size() && text[i + 1] == close) {
                        inside += close;
                        ++i;
                        continue;
                    }
                    break;
                }
                inside += text[i];
            }
            tokens.push_back({c == '[' ? 'n' : 's', inside});
        } else if ((c == '-' || c == '/') && i + 1 < text.size() && text[i + 1] == c) {
            const size_t end = text.find('\n', i);
            tokens.push_back({'-', {}});
            if (end == std::string::npos) break;
            i = end;
            code('\n');
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const size_t end = text.find("*/", i + 2);
            if (end == std::string::npos) return std::nullopt;
            tokens.push_back({'-', {}});
            i = end + 1;
        } else {
            code(c);
        }
    }
    return tokens;
}

void CheckMdx(const std::string& value) {
    const char* query =
        "SELECT {[Time].[`P]} ON 0 FROM [Sales] WHERE (\"`P\", '`P') -- `P\n/* `P */ // `P";
    const auto tokens = MdxTokens(DSetParam(Program(), query, SubstitutionTarget::Mdx));
    Check(tokens.has_value());
    const std::vector<MdxToken> expected = {
        {'c', "SELECT {"},     {'n', "Time"},  {'c', "."},        {'n', value},
        {'c', "} ON 0 FROM "}, {'n', "Sales"}, {'c', " WHERE ("}, {'s', value},
        {'c', ", "},           {'s', value},   {'c', ") "},       {'-', ""},
        {'c', "\n"},           {'-', ""},      {'c', " "},        {'-', ""},
    };
    Check(tokens->size() == expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        Check((*tokens)[i].Kind == expected[i].Kind && (*tokens)[i].Text == expected[i].Text);
}

// --- connection strings through their reader -------------------------------------------------

void CheckConnectionString(const std::string& value) {
    const std::string text =
        DSetParam(Program(), "Provider=SQLite;Pwd=`P;Data Source=a.db;User ID=\"`P\";X={`P};Y='`P'",
                  SubstitutionTarget::ConnectionString);
    const auto parts = ParseConnectionString(text);
    Check(parts.size() == 6);
    const char* keys[] = {"Provider", "Pwd", "Data Source", "User ID", "X", "Y"};
    for (size_t i = 0; i < parts.size(); ++i) Check(parts[i].Key == keys[i]);
    Check(parts[2].Value == "a.db");
    for (size_t i : {1, 3, 4, 5}) Check(parts[i].Value == value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string value(reinterpret_cast<const char*>(data) + 1, size - 1);
    // Values reach the program as C strings.
    if (value.find('\0') != std::string::npos || !IsTakenAsItIs(value)) return 0;
    Parameter().PrmVal.Value = value;
    switch (data[0] % 4) {
        case 0:
            CheckSql(value);
            break;
        case 1:
            CheckShell(value);
            break;
        case 2:
            CheckMdx(value);
            break;
        default:
            CheckConnectionString(value);
            break;
    }
    return 0;
}
