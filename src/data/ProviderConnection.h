// What a data provider does for the access layer: run one command and hand over its whole result
// as rows, list a database's tables and columns, and honour a command time-out. Each provider
// (SQLite, ODBC) implements this once; the recordset and database wrappers above it are shared,
// so every provider behaves the same to reports. The factory picks the provider by the
// connection string's "Provider=" key, as report authors know it from Windows.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "data/RowStore.h"

class CProviderConnection {
  public:
    virtual ~CProviderConnection() = default;

    // Runs `command` and fetches the first result that has columns into `into`. Returns false
    // when the command produced no result set (DDL, INSERT ...). Throws CADOException.
    virtual bool Execute(const std::string& command, RowStore& into) = 0;
    // Runs a stored procedure by name and fetches its first result as Execute does. Throws
    // CADOException (FeatureNotAvailable where the database has none).
    virtual bool ExecuteProcedure(const std::string& name, RowStore& into) = 0;
    // Fills `into` with one row per column of every table and view (or of `table` only, when
    // given): fields 2 and 3 are the table and column names, in table then column order.
    // Throws CADOException.
    virtual void SchemaColumns(const std::string& table, RowStore& into) = 0;
    // Fills `into` with one row per table and view: field 2 is the name, field 3 the kind.
    virtual void SchemaTables(RowStore& into) = 0;
    // Fills `into` with the provider-specific schema rowset `schemaId` (a schema GUID or name),
    // restricted to `restriction` ("" for none). Throws CADOException: FeatureNotAvailable unless
    // the provider has such rowsets (the OLAP providers do).
    virtual void SchemaRowset(const std::string& schemaId, const std::string& restriction,
                              RowStore& into);
    // Limits each later command to `seconds` (0: no limit).
    virtual void SetCommandTimeout(int seconds) = 0;
    // How long a command waits for a lock another program holds on the database before it fails
    // (0: not at all). Providers whose server manages its own locks ignore it.
    virtual void SetLockTimeout(int /*seconds*/) {}
    // True when the database reads a backslash inside every string literal as an escape.
    virtual bool BackslashEscapesInStrings() const { return false; }
    // The provider's name as the error source ("SQLite", "ODBC").
    virtual std::string ProviderName() const = 0;
    // The database product behind the connection as the database itself names it ("SQLite",
    // "PostgreSQL", "Microsoft SQL Server"); "" when it cannot tell.
    virtual std::string DatabaseProductName() const { return {}; }
    // `name` quoted as a table or column name for this database's SQL: "[name]" unless the
    // database quotes otherwise.
    virtual std::string QuoteIdentifier(std::string_view name) const;
};

// Opens a connection for `connectionString` through the provider its "Provider=" key names in the
// process's provider registry (data/ProviderRegistry.h). A relative SQLite file is taken from
// `programFolder`. Throws CADOException: ProviderNotFound for a provider that cannot be served,
// Failure when the database refuses. The error text never carries the password.
std::unique_ptr<CProviderConnection> OpenProviderConnection(std::string_view connectionString,
                                                            const std::string& programFolder,
                                                            int loginTimeoutSeconds);

// One line naming the providers this installation can serve, for the provider-not-found message.
std::string AvailableProvidersText();

// The ODBC connection string that serves a Windows SQL Server connection string through the ODBC
// driver `driver` (Data Source, Initial Catalog, User ID, Password, Integrated Security).
std::string SqlServerToOdbc(std::string_view connectionString, std::string_view driver);

// The ODBC connection string for a connection string of the ODBC/MSDASQL providers: the Provider
// key dropped, Extended Properties unpacked, and Data Source, User ID, Password and Initial
// Catalog given their ODBC names when the ODBC ones are missing.
std::string OdbcConnectionText(std::string_view connectionString);
