// What the connection dialog edits: the provider, chosen among those this build has, the six keys
// every provider shares (Initial Catalog, Data Source, Location, Integrated Security, User ID,
// Password) and the keys of the provider's own; the string rebuilt from them in that order, each
// key only when it has a value; a test of the connection and, for databases, their tables.
#pragma once

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CADODatabase;

namespace orvik {
class Run;
}

namespace orvik::design {

inline constexpr std::array<const char*, 6> kSharedConnectionKeys = {
    "Initial Catalog", "Data Source", "Location", "Integrated Security", "User ID", "Password"};

struct ConnectionProvider {
    std::string Caption;                // "SQLite database file"
    std::string Provider;               // the Provider= value written
    std::vector<std::string> OwnKeys;   // kept after the shared keys, in this order
    std::vector<std::string> FileKeys;  // keys whose value is a file (chosen with a file picker)
    bool ListsOdbcSources = false;      // Data Source offers the ODBC data sources
    bool IsCube = false;                // MDX runs on it; no table browser
};

// The providers this build can connect with, in the order the dialog offers them.
std::vector<ConnectionProvider> ConnectionProviders();

// The entry of `providers` that `connection`'s Provider names (any case, a versioned name such
// as "SQLOLEDB.1" too); ODBC for a string that names no provider (a driver's own); the first entry
// for an empty string or a provider this build does not have.
const ConnectionProvider& ProviderOf(const std::vector<ConnectionProvider>& providers,
                                     std::string_view connection);

// The values `connection` gives the shared keys and `provider`'s own.
std::map<std::string, std::string> ConnectionValues(const ConnectionProvider& provider,
                                                    std::string_view connection);

// "Provider=<provider>", then the shared keys and the provider's own keys in order, each only
// when its value is not empty; values quoted where they would not survive as they stand.
std::string BuildConnection(const ConnectionProvider& provider,
                            const std::map<std::string, std::string>& values);

using TableColumns = std::vector<std::pair<std::string, std::vector<std::string>>>;

struct ConnectionTest {
    bool Connected = false;
    std::string Message;  // what the database answered, secrets masked
    // For databases each table with its columns, in the database's order; for cubes each cube.
    TableColumns Tables;
};

// Each table of `database` with its columns, in the database's order. Throws CADOException.
TableColumns TablesOf(CADODatabase& database);

// Connects with `connection` (parameters of the report substituted) and reads its tables.
ConnectionTest TestConnection(Run& run, const ConnectionProvider& provider,
                              const std::string& connection);

}  // namespace orvik::design
