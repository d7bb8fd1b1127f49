#include "design/ConnectionEditor.h"

#include <algorithm>

#include "core/Run.h"
#include "data/AdoDatabase.h"
#include "data/AdoRecordset.h"
#include "data/ConnectionString.h"
#include "data/OdbcProvider.h"
#include "data/RecordsetResult.h"
#include "data/Variant.h"
#include "olap/OlapConnection.h"
#include "params/ParamSubstitution.h"

namespace orvik::design {

std::vector<ConnectionProvider> ConnectionProviders() {
    std::vector<ConnectionProvider> providers = {
        {"SQLite database file", "SQLite", {}, {"Data Source"}, false, false},
        {"ODBC data source or driver",
         "MSDASQL",
         // The ODBC names of the settings, for strings written for a driver directly.
         {"Driver", "DSN", "Server", "Port", "Database", "Uid", "Pwd", "Extended Properties"},
         {},
         true,
         false},
        {"Cube over a database (embedded engine)",
         "Orvik.Cube",
         {"Catalog", "CellCache", "CellCacheSize"},
         {"Data Source", "Catalog"},
         false,
         true},
        {"OLAP server (XMLA over HTTP)", "XMLA", {"Timeout", "Connect Timeout"}, {}, false, true},
    };
    // SQL Server is reached through the FreeTDS driver; without it the provider cannot connect.
    const std::vector<std::string> drivers = InstalledOdbcDrivers();
    if (std::any_of(drivers.begin(), drivers.end(), [](const std::string& driver) {
            return LowerConnectionText(driver).find("freetds") != std::string::npos;
        }))
        providers.insert(providers.begin() + 2,
                         {"SQL Server (FreeTDS)", "SQLOLEDB", {}, {}, false, false});
    return providers;
}

const ConnectionProvider& ProviderOf(const std::vector<ConnectionProvider>& providers,
                                     std::string_view connection) {
    const std::string named = LowerConnectionText(ConnectionKeyValue(connection, "Provider"));
    for (const ConnectionProvider& provider : providers) {
        const std::string lower = LowerConnectionText(provider.Provider);
        if (named == lower || named.rfind(lower + ".", 0) == 0) return provider;
    }
    // A string without a provider is a driver's own, served through ODBC.
    if (named.empty() && !connection.empty())
        for (const ConnectionProvider& each : providers)
            if (each.Provider == "MSDASQL") return each;
    // Other names of the same providers.
    const std::pair<const char*, const char*> aliases[] = {{"odbc", "MSDASQL"},
                                                           {"sqlncli", "SQLOLEDB"},
                                                           {"msoledbsql", "SQLOLEDB"},
                                                           {"msolap", "XMLA"}};
    for (const auto& [alias, provider] : aliases)
        if (named.rfind(alias, 0) == 0)
            for (const ConnectionProvider& each : providers)
                if (each.Provider == provider) return each;
    return providers.front();
}

std::map<std::string, std::string> ConnectionValues(const ConnectionProvider& provider,
                                                    std::string_view connection) {
    std::map<std::string, std::string> values;
    for (const char* key : kSharedConnectionKeys) values[key] = ConnectionKeyValue(connection, key);
    for (const std::string& key : provider.OwnKeys)
        values[key] = ConnectionKeyValue(connection, key);
    return values;
}

std::string BuildConnection(const ConnectionProvider& provider,
                            const std::map<std::string, std::string>& values) {
    std::string text = "Provider=" + provider.Provider;
    const auto add = [&](const std::string& key) {
        const auto found = values.find(key);
        if (found != values.end() && !found->second.empty())
            text += ";" + ConnectionPair(key, found->second);
    };
    for (const char* key : kSharedConnectionKeys) add(key);
    for (const std::string& key : provider.OwnKeys) add(key);
    return text;
}

TableColumns TablesOf(CADODatabase& database) {
    TableColumns tables;
    CADORecordset columns(&database);
    columns.OpenSchema(CADORecordset::schemaColumns);
    const RecordsetResult rows(columns);
    std::vector<Variant> row(4);
    for (long at = 1, count = rows.RowCount(); at <= count; ++at) {
        rows.ReadRow(at, row);
        const std::string table = VariantToText(row[2]);
        if (tables.empty() || tables.back().first != table) tables.push_back({table, {}});
        tables.back().second.push_back(VariantToText(row[3]));
    }
    return tables;
}

ConnectionTest TestConnection(Run& run, const ConnectionProvider& provider,
                              const std::string& connection) {
    ConnectionTest test;
    try {
        const std::string substituted =
            DSetParam(run, connection, SubstitutionTarget::ConnectionString);
        if (provider.IsCube) {
            // A cube's connection is its catalog: reading the cube names proves it and its
            // database.
            const std::vector<std::string> cubes =
                OpenOlapConnection(substituted, run.ProgramFolder())->CubeNames();
            test.Connected = true;
            test.Message = "Connected: " + std::to_string(cubes.size()) +
                           (cubes.size() == 1 ? " cube." : " cubes.");
            for (const std::string& cube : cubes) test.Tables.push_back({cube, {}});
            return test;
        }
        CADODatabase database;
        database.Open(substituted, run.ProgramFolder());
        test.Connected = true;
        test.Tables = TablesOf(database);
        test.Message = "Connected: " + std::to_string(test.Tables.size()) +
                       (test.Tables.size() == 1 ? " table." : " tables.");
    } catch (const std::exception& error) {
        test.Connected = false;
        test.Tables.clear();
        test.Message = MaskConnectionSecrets(error.what());
    }
    return test;
}

}  // namespace orvik::design
