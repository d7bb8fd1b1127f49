// The database providers of the process, in one registry: a connection string's "Provider=" key
// picks the entry that serves it, whether it is a relational database (SQLite, ODBC, SQL Server
// through FreeTDS) or a cube (the embedded engine, a remote server), and the same entry runs the
// MDX of a cell set on it. The program's own providers are there from the start; a higher layer
// (the cube engine) or a plug-in registers its own at start-up.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "data/AdoCellSet.h"
#include "data/ProviderConnection.h"

namespace orvik {

class DatabaseProvider {
  public:
    virtual ~DatabaseProvider() = default;

    // True when this provider serves the Provider value `lowerName` (lower case; "" when the
    // string has no Provider key).
    virtual bool Serves(std::string_view lowerName) const = 0;
    // How the provider-not-found message names it; "" while it cannot be used on this machine.
    virtual std::string Description() const = 0;

    // Opens a connection for `connectionString`; relative file names in it are taken from
    // `programFolder`. Throws CADOException (ProviderNotFound when it cannot be served here
    // after all, Failure when the database refuses); the text never carries the password.
    virtual std::unique_ptr<CProviderConnection> Connect(std::string_view connectionString,
                                                         const std::string& programFolder,
                                                         int loginTimeoutSeconds) = 0;

    // True when the provider runs MDX into cell sets (RunCellSet).
    virtual bool ServesCellSets() const { return false; }
    // Runs `query` against the source `connectionString` names. Throws CADOException.
    virtual CellSetData RunCellSet(const std::string& query, const std::string& connectionString,
                                   const std::string& programFolder);
};

// A provider known by the beginnings of its Provider value ("orvik.cube", "msolap").
class PrefixedProvider : public DatabaseProvider {
  public:
    PrefixedProvider(std::vector<std::string> prefixes, std::string description);
    bool Serves(std::string_view lowerName) const override;
    std::string Description() const override { return description_; }

  private:
    std::vector<std::string> prefixes_;  // lower case
    std::string description_;
};

class ProviderRegistry {
  public:
    // The providers of this process: the program's own, then those registered since.
    static ProviderRegistry& Process();

    // Adds `provider`; an earlier entry that serves the same names still comes first.
    void Register(std::shared_ptr<DatabaseProvider> provider);
    // The provider that serves `connectionString`, or null.
    std::shared_ptr<DatabaseProvider> Find(std::string_view connectionString) const;
    // "Providers available here: ..." for the provider-not-found message.
    std::string AvailableText() const;

  private:
    ProviderRegistry();

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<DatabaseProvider>> providers_;
};

// SQLite; ODBC and MSDASQL (also for a string without Provider); the SQL Server providers
// through the FreeTDS ODBC driver, when it is installed. Defined beside their connections.
std::vector<std::shared_ptr<DatabaseProvider>> BuiltinDatabaseProviders();

}  // namespace orvik
