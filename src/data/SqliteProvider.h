// The embedded provider: an SQLite database file. SQLite stores whatever a value is, so the
// variant type of a cell comes from the value itself, refined by the column's declared type the
// way a report author expects: DATE and TIMESTAMP columns give dates, NUMERIC and DECIMAL columns
// exact decimals with their declared scale, BOOLEAN columns booleans. A command ends early, with a
// message saying why, when the run is asked to stop or a time limit passes (core/StopRequest.h).
#pragma once

#include <chrono>
#include <string>

#include "data/ProviderConnection.h"

struct sqlite3;
struct sqlite3_stmt;

class SqliteConnection : public CProviderConnection {
  public:
    // Opens the existing database file `path` (":memory:" for a private in-memory one). A missing
    // file is an error, never a new empty database. Throws CADOException.
    explicit SqliteConnection(const std::string& path);
    ~SqliteConnection() override;

    bool Execute(const std::string& command, RowStore& into) override;
    bool ExecuteProcedure(const std::string& name, RowStore& into) override;
    void SchemaColumns(const std::string& table, RowStore& into) override;
    void SchemaTables(RowStore& into) override;
    void SetCommandTimeout(int seconds) override;
    void SetLockTimeout(int seconds) override;
    std::string ProviderName() const override { return "SQLite"; }
    std::string DatabaseProductName() const override { return "SQLite"; }

    // How long a command waits for another program's lock unless told otherwise.
    static constexpr int kDefaultLockTimeout = 30;

  private:
    [[noreturn]] void Fail(const std::string& message) const;
    int lockSeconds_ = kDefaultLockTimeout;
    static int Progress(void* self);
    static int BusyWait(void* self, int attempt);
    void Fetch(sqlite3_stmt* statement, RowStore& into);
    // Runs a catalogue query; `table`, when not empty, is bound to its ?1.
    void RunSchemaQuery(const char* query, const std::string& table, RowStore& into);

    sqlite3* db_ = nullptr;
    int timeoutSeconds_ = 0;
    // Why the running command was interrupted; empty while it was not.
    std::string stopReason_;
    std::chrono::steady_clock::time_point busySince_;
};
