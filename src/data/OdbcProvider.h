// The provider for every other database: an ODBC driver reached through the unixODBC driver
// manager (PostgreSQL, MariaDB, SQL Server through FreeTDS, ...). Texts cross the driver boundary
// as UTF-16, so Cyrillic in queries and results survives whatever the process locale is. SQL
// types become the variant types a report author knows: integers by width, REAL as a 4-byte real,
// FLOAT and DOUBLE as 8-byte reals, NUMERIC and DECIMAL as exact decimals, DATE and TIMESTAMP as
// dates, everything else as text.
#pragma once

#include <string>
#include <vector>

#include "data/ProviderConnection.h"

class OdbcConnection : public CProviderConnection {
  public:
    // Connects with SQLDriverConnect and `connectionText` (never prompts). The completed string the
    // driver hands back carries the password in clear and is dropped at once. `fallbackProduct`
    // names the database when the driver will not (see DatabaseProductName). Throws CADOException.
    OdbcConnection(const std::string& connectionText, int loginTimeoutSeconds,
                   std::string fallbackProduct = {});
    ~OdbcConnection() override;

    bool Execute(const std::string& command, RowStore& into) override;
    bool ExecuteProcedure(const std::string& name, RowStore& into) override;
    void SchemaColumns(const std::string& table, RowStore& into) override;
    void SchemaTables(RowStore& into) override;
    void SetCommandTimeout(int seconds) override { timeoutSeconds_ = seconds; }
    std::string ProviderName() const override { return "ODBC"; }
    bool BackslashEscapesInStrings() const override { return backslashEscapes_; }
    std::string QuoteIdentifier(std::string_view name) const override;
    // What the driver answers for SQL_DBMS_NAME, or the fallback the constructor was given.
    std::string DatabaseProductName() const override { return productName_; }

  private:
    void* NewStatement();
    bool FetchFirstResult(void* statement, RowStore& into);

    void* environment_ = nullptr;
    void* connection_ = nullptr;
    bool connected_ = false;
    int timeoutSeconds_ = 0;
    // The driver's identifier quote ('"' for PostgreSQL, '`' for MySQL); empty: brackets.
    std::string identifierQuote_;
    bool backslashEscapes_ = false;  // MySQL and MariaDB read "\\" in strings as an escape
    std::string productName_;
};

// The names of the ODBC drivers the driver manager knows, in its order.
std::vector<std::string> InstalledOdbcDrivers();
// The names of the ODBC data sources (the user's and the system's), in the driver manager's order.
std::vector<std::string> InstalledOdbcDataSources();
