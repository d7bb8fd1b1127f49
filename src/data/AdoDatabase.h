// A database connection as data sources hold it: opened from a connection string through the
// provider its "Provider=" key names, carrying the command time-out every later command runs
// under. Recordsets are opened on it; the data source owns it and closing it ends the session.
#pragma once

#include <memory>
#include <string>

#include "data/ProviderConnection.h"

class CADODatabase {
  public:
    CADODatabase() = default;
    ~CADODatabase();
    CADODatabase(const CADODatabase&) = delete;
    CADODatabase& operator=(const CADODatabase&) = delete;

    // Opens the connection (closing any open one first). A relative database file is taken from
    // `programFolder` (the working folder when none is given). Throws CADOException.
    void Open(const std::string& connectionString, const std::string& programFolder = {});
    // True while the connection is open.
    bool IsOpen() const { return provider_ != nullptr; }
    // Ends the session; later commands fail with ConnectionClosed.
    void Close();

    // Seconds each later command may run (0: no limit).
    void SetCommandTimeout(int seconds);
    int GetCommandTimeout() const { return commandTimeout_; }
    // Seconds a command waits for a lock another program holds (SQLite); applies at once and to
    // the next Open.
    void SetLockTimeout(int seconds);
    // Seconds a connection attempt may take (0: the driver's own limit). Applies to the next Open.
    void SetConnectionTimeout(int seconds) { connectionTimeout_ = seconds; }

    // Runs a command and drops any rows it returns. Throws CADOException.
    void Execute(const std::string& command);

    // The connection string last opened (it may carry a password: never show it unmasked).
    const std::string& GetConnectionString() const { return connectionString_; }
    // The provider serving the connection ("SQLite", "ODBC"); "" when closed.
    std::string GetProviderName() const;
    // The database product as the database names itself ("SQLite", "PostgreSQL"); "" when closed
    // or when the provider cannot tell.
    std::string DatabaseProductName() const;
    // The provider itself, for recordsets; throws ConnectionClosed when the connection is closed.
    CProviderConnection& Provider();

  private:
    std::unique_ptr<CProviderConnection> provider_;
    std::string connectionString_;
    int commandTimeout_ = 30;
    int connectionTimeout_ = 15;
    int lockTimeout_ = -1;  // -1: the provider's own default
};
