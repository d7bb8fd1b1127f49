#include "olap/OlapConnection.h"
#include "olap/NameCase.h"

#include <map>
#include <mutex>
#include <utility>

#include "data/AdoException.h"
#include "data/ConnectionString.h"
#include "olap/OlapProviderConnection.h"
#include "olap/OlapSchemaRowsets.h"

namespace orvik {
namespace {

struct Providers {
    std::mutex Lock;
    std::vector<std::pair<std::string, OlapConnectionFactory>> Factories;
    // Open connections by connection string: a catalog's member lists are read once and kept
    // while anyone uses the connection, and reused by the next source with the same string.
    std::map<std::string, std::weak_ptr<OlapConnection>> Open;
};

Providers& Registry() {
    static Providers providers;
    return providers;
}

const OlapConnectionFactory* FindFactory(Providers& providers, const std::string& connection) {
    const std::string provider = LowerAscii(ConnectionKeyValue(connection, "Provider"));
    if (provider.empty()) return nullptr;
    for (const auto& [name, factory] : providers.Factories)
        if (provider.compare(0, name.size(), name) == 0) return &factory;
    return nullptr;
}

}  // namespace

void OlapConnection::SchemaRowset(const std::string& schemaId, const std::string& cubeRestriction,
                                  RowStore& into) {
    BuildOlapSchemaRowset(*this, FindOlapSchemaRowset(schemaId), cubeRestriction, into);
}

void RegisterOlapProvider(const std::string& providerName, OlapConnectionFactory factory) {
    Providers& providers = Registry();
    std::lock_guard lock(providers.Lock);
    providers.Factories.emplace_back(LowerAscii(providerName), std::move(factory));
    // Cell sets open their own connection from the string, as the data source hands it over.
    class Bridge : public CCellSetProvider {
      public:
        CellSetData Run(const std::string& query, const std::string& connection) override {
            return Run(query, connection, {});
        }
        CellSetData Run(const std::string& query, const std::string& connection,
                        const std::string& programFolder) override {
            const std::shared_ptr<OlapConnection> open =
                OpenOlapConnection(connection, programFolder);
            CellSetData data = open->Execute(query);
            data.Warnings = open->TakeWarnings();
            return data;
        }
    };
    RegisterCellSetProvider(providerName, [] { return std::make_unique<Bridge>(); });
    // A data source connects through the same provider before it runs MDX.
    RegisterProvider(providerName, providerName + " (OLAP: Data Source=..., Catalog=...)",
                     [](std::string_view connection, const std::string& programFolder) {
                         return std::make_unique<OlapProviderConnection>(
                             OpenOlapConnection(std::string(connection), programFolder));
                     });
}

bool IsOlapConnectionString(const std::string& connectionString) {
    Providers& providers = Registry();
    std::lock_guard lock(providers.Lock);
    return FindFactory(providers, connectionString) != nullptr;
}

std::shared_ptr<OlapConnection> OpenOlapConnection(const std::string& connectionString,
                                                   const std::string& programFolder) {
    Providers& providers = Registry();
    OlapConnectionFactory factory;
    // The same string names other files from another program folder.
    const std::string key = programFolder + '\n' + connectionString;
    {
        std::lock_guard lock(providers.Lock);
        if (auto open = providers.Open[key].lock()) return open;
        const OlapConnectionFactory* found = FindFactory(providers, connectionString);
        if (!found)
            throw CADOException(AdoError::ProviderNotFound,
                                AdoErrorMeaning(AdoError::ProviderNotFound));
        factory = *found;
    }
    std::shared_ptr<OlapConnection> connection = factory(connectionString, programFolder);
    std::lock_guard lock(providers.Lock);
    providers.Open[key] = connection;
    return connection;
}

}  // namespace orvik
