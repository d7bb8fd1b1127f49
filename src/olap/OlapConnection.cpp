#include "olap/OlapConnection.h"
#include "olap/NameCase.h"

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>

#include "data/AdoException.h"
#include "data/ConnectionString.h"
#include "data/ProviderRegistry.h"
#include "olap/OlapProviderConnection.h"
#include "olap/OlapSchemaRowsets.h"

namespace orvik {
namespace {

// A cube provider's entry in the process's provider registry: the same entry connects a data
// source before it runs MDX and runs the MDX of a cell set.
class OlapProvider : public PrefixedProvider {
  public:
    OlapProvider(std::vector<std::string> names, std::string description,
                 OlapConnectionFactory factory)
        : PrefixedProvider(std::move(names), std::move(description)),
          factory_(std::move(factory)) {}

    std::unique_ptr<CProviderConnection> Connect(std::string_view connection,
                                                 const std::string& programFolder, int) override {
        return std::make_unique<OlapProviderConnection>(
            OpenOlapConnection(std::string(connection), programFolder));
    }
    bool ServesCellSets() const override { return true; }
    // Cell sets open their own connection from the string, as the data source hands it over.
    CellSetData RunCellSet(const std::string& query, const std::string& connection,
                           const std::string& programFolder) override {
        const std::shared_ptr<OlapConnection> open = OpenOlapConnection(connection, programFolder);
        CellSetData data = open->Execute(query);
        data.Warnings = open->TakeWarnings();
        data.Notes = open->TakeNotes();
        return data;
    }

    const OlapConnectionFactory& Factory() const { return factory_; }

  private:
    OlapConnectionFactory factory_;
};

// Open connections by program folder and connection string: a catalog's member lists are read
// once and kept while anyone uses the connection, and reused by the next source with the same
// string.
// A string with "CellCache=<seconds>" keeps its connection (and the cells it read) that long
// after its last use, so that the next run in a long-lived process starts warm.
struct OpenConnections {
    std::mutex Lock;
    std::map<std::string, std::weak_ptr<OlapConnection>> ByKey;
    std::map<std::string,
             std::pair<std::shared_ptr<OlapConnection>, std::chrono::steady_clock::time_point>>
        Kept;

    // Under Lock: lets go of connections kept past their time, and keeps `connection` for
    // the time its string asks.
    void Keep(const std::string& key, const std::shared_ptr<OlapConnection>& connection,
              const std::string& connectionString) {
        const auto now = std::chrono::steady_clock::now();
        std::erase_if(Kept, [&](const auto& kept) { return kept.second.second < now; });
        const long seconds = std::atol(ConnectionKeyValue(connectionString, "CellCache").c_str());
        if (seconds > 0) Kept[key] = {connection, now + std::chrono::seconds(seconds)};
    }
};

OpenConnections& Open() {
    static auto* open = new OpenConnections;
    return *open;
}

// The cube provider that serves `connection`, or null (none, or a relational one).
std::shared_ptr<OlapProvider> FindOlapProvider(const std::string& connection) {
    return std::dynamic_pointer_cast<OlapProvider>(ProviderRegistry::Process().Find(connection));
}

}  // namespace

void OlapConnection::SchemaRowset(const std::string& schemaId, const std::string& cubeRestriction,
                                  RowStore& into) {
    BuildOlapSchemaRowset(*this, FindOlapSchemaRowset(schemaId), cubeRestriction, into);
}

void OlapConnection::ExecuteRows(const std::string& mdx, RowStore& into) {
    FlattenCellSet(Execute(mdx), into);
}

void RegisterOlapProvider(const std::string& providerName, OlapConnectionFactory factory) {
    RegisterOlapProvider({providerName}, providerName + " (OLAP: Data Source=..., Catalog=...)",
                         std::move(factory));
}

void RegisterOlapProvider(std::vector<std::string> providerNames, std::string description,
                          OlapConnectionFactory factory) {
    ProviderRegistry::Process().Register(std::make_shared<OlapProvider>(
        std::move(providerNames), std::move(description), std::move(factory)));
}

bool IsOlapConnectionString(const std::string& connectionString) {
    return FindOlapProvider(connectionString) != nullptr;
}

std::shared_ptr<OlapConnection> OpenOlapConnection(const std::string& connectionString,
                                                   const std::string& programFolder) {
    const std::shared_ptr<OlapProvider> provider = FindOlapProvider(connectionString);
    if (!provider)
        throw CADOException(AdoError::ProviderNotFound,
                            AdoErrorMeaning(AdoError::ProviderNotFound));
    OpenConnections& open = Open();
    // The same string names other files from another program folder.
    const std::string key = programFolder + '\n' + connectionString;
    {
        std::lock_guard lock(open.Lock);
        if (auto connection = open.ByKey[key].lock()) {
            open.Keep(key, connection, connectionString);
            return connection;
        }
    }
    std::shared_ptr<OlapConnection> connection =
        provider->Factory()(connectionString, programFolder);
    std::lock_guard lock(open.Lock);
    open.ByKey[key] = connection;
    open.Keep(key, connection, connectionString);
    return connection;
}

}  // namespace orvik
