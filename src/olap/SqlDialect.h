// What the engine's SQL must write differently for each database: how a table or column name is
// quoted, how truth values and text are written as literals. The dialect is chosen from what the
// database calls itself (the ODBC driver's SQL_DBMS_NAME, "SQLite" for SQLite), never from the
// connection string, which may name a DSN or a driver file and say nothing about the database.
// Its name also picks the schema's <SQL dialect="..."> texts.
#pragma once

#include <string>
#include <string_view>

class CADODatabase;
class CProviderConnection;
class Variant;

namespace orvik::cube {

enum class IdentifierQuoting {
    Brackets,  // [name], "]" doubled
    // [name], or "name" when it holds a "]", which SQLite's brackets cannot escape. Brackets
    // first: a double-quoted name that matches no column is silently read there as a string,
    // which would turn a schema's misspelt column into a constant.
    SqliteBrackets,
    DoubleQuotes,  // "name", '"' doubled
    Backticks,     // `name`, '`' doubled
    Provider,      // as the provider quotes: its driver knows a database we do not
};

struct SqlDialect {
    std::string_view Name;  // as schema files write it: "sqlite", "postgres", "mssql", ...
    IdentifierQuoting Quoting = IdentifierQuoting::Provider;
    std::string_view True = "1", False = "0";
    bool BackslashEscapes = false;  // a backslash in a string literal must be doubled
    std::string_view TextPrefix;    // before a string literal's quote: N'...' for Unicode
};

// The dialect of a database product named as `productName` says ("PostgreSQL 16.2",
// "Microsoft SQL Server"); the generic dialect for one we do not know.
const SqlDialect& DialectForProduct(std::string_view productName);
// The dialect of the database `database` is connected to.
const SqlDialect& DialectOf(const CADODatabase& database);
// The dialect called `name` ("mssql"); null for none.
const SqlDialect* DialectNamed(std::string_view name);

// `name` quoted as a table or column name; `provider` quotes it for the generic dialect.
std::string QuoteIdentifier(const SqlDialect& dialect, std::string_view name,
                            const CProviderConnection& provider);
// `value` as an SQL literal: NULL, a number, a truth value or a quoted text.
std::string SqlLiteral(const SqlDialect& dialect, const Variant& value);

}  // namespace orvik::cube
