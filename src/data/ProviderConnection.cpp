// The provider factory: reads the "Provider=" key of a connection string and hands the rest to the
// provider that can serve it. Reports made on Windows name the providers they were made with, so
// the ODBC and SQL Server provider names are mapped onto the ODBC driver manager here; anything
// else is refused with the provider-not-found code the data source reports specially.
#include <algorithm>
#include <cctype>
#include <vector>

#include "core/Paths.h"
#include "data/AdoException.h"
#include "data/ConnectionString.h"
#include "data/OdbcProvider.h"
#include "data/ProviderConnection.h"
#include "data/ProviderRegistry.h"
#include "data/SqliteProvider.h"

namespace {

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsSqlServerProvider(const std::string& lowerName) {
    return StartsWith(lowerName, "sqloledb") || StartsWith(lowerName, "sqlncli") ||
           StartsWith(lowerName, "msoledbsql");
}

bool IsOdbcProvider(const std::string& lowerName) {
    return lowerName.empty() || lowerName == "odbc" || StartsWith(lowerName, "msdasql");
}

// The installed ODBC driver that speaks to SQL Server, or "" when there is none.
std::string SqlServerDriver() {
    for (const std::string& driver : InstalledOdbcDrivers())
        if (LowerConnectionText(driver).find("freetds") != std::string::npos) return driver;
    return {};
}

std::string SqlitePath(const std::string& dataSource, const std::string& programFolder) {
    if (dataSource == ":memory:") return dataSource;
    const std::string path = orvik::ToNativePath(dataSource);
    if (path.empty() || orvik::IsAbsolutePath(path)) return path;
    return orvik::WithTrailingSlash(programFolder) + path;
}

// "Key=Value" for a driver: a value with ";" or braces goes into braces, "}" doubled inside.
std::string OdbcPair(const std::string& key, const std::string& value) {
    // Driver names are braced always: drivers are often named with spaces.
    if (LowerConnectionText(key) != "driver" && value.find_first_of(";{}") == std::string::npos &&
        (value.empty() || (value.front() != ' ' && value.back() != ' ')))
        return key + "=" + value;
    std::string braced = key + "={";
    for (char c : value) {
        braced += c;
        if (c == '}') braced += '}';
    }
    return braced + "}";
}

bool IsTrue(std::string_view value) {
    const std::string lower = LowerConnectionText(value);
    return lower == "sspi" || lower == "true" || lower == "yes";
}

}  // namespace

// Brackets are what report authors write, and SQLite and SQL Server both read them.
std::string CProviderConnection::QuoteIdentifier(std::string_view name) const {
    return "[" + std::string(name) + "]";
}

// SQL databases describe themselves through the table and column rowsets only.
void CProviderConnection::SchemaRowset(const std::string&, const std::string&, RowStore&) {
    throw CADOException(AdoError::FeatureNotAvailable,
                        AdoErrorMeaning(AdoError::FeatureNotAvailable), ProviderName());
}

std::string OdbcConnectionText(std::string_view connectionString) {
    const std::string extended = ConnectionKeyValue(connectionString, "Extended Properties");
    const std::string_view source = extended.empty() ? connectionString : extended;
    // The OLE DB names of the same settings, for strings written for the ODBC bridge provider.
    const std::pair<const char*, const char*> renames[] = {{"data source", "DSN"},
                                                           {"user id", "UID"},
                                                           {"password", "PWD"},
                                                           {"initial catalog", "DATABASE"}};
    const bool namesDriver = HasConnectionKey(source, "DSN") || HasConnectionKey(source, "Driver");
    std::string result;
    for (const ConnectionStringPart& part : ParseConnectionString(source)) {
        std::string key = part.Key;
        const std::string lower = LowerConnectionText(key);
        if (lower == "provider" || lower == "extended properties") continue;
        for (const auto& [oleName, odbcName] : renames)
            if (lower == oleName && !HasConnectionKey(source, odbcName) &&
                !(lower == "data source" && namesDriver))
                key = odbcName;
        if (!result.empty()) result += ';';
        result += OdbcPair(key, part.Value);
    }
    return result;
}

std::string SqlServerToOdbc(std::string_view connectionString, std::string_view driver) {
    std::string server = ConnectionKeyValue(connectionString, "Data Source");
    if (server.empty()) server = ConnectionKeyValue(connectionString, "Server");
    std::string port;
    if (LowerConnectionText(server).rfind("tcp:", 0) == 0) server.erase(0, 4);
    if (const size_t comma = server.find(','); comma != std::string::npos) {
        port = server.substr(comma + 1);
        server.erase(comma);
    }
    // The local-machine spellings of Windows, with or without a named instance after "\\".
    const size_t instance = std::min(server.find('\\'), server.size());
    const std::string host = LowerConnectionText(server.substr(0, instance));
    if (host == "." || host == "(local)" || host == "(localdb)")
        server.replace(0, instance, "localhost");
    std::string result = "Driver={" + std::string(driver) + "};Server=" + server;
    if (!port.empty())
        result += ";Port=" + port;
    else if (server.find('\\') == std::string::npos)
        result += ";Port=1433";
    auto add = [&](const char* odbcKey, const std::string& value) {
        if (!value.empty()) result += ";" + OdbcPair(odbcKey, value);
    };
    add("Database", ConnectionKeyValue(connectionString, "Initial Catalog"));
    if (IsTrue(ConnectionKeyValue(connectionString, "Integrated Security"))) {
        result += ";Trusted_Connection=Yes";
    } else {
        add("UID", ConnectionKeyValue(connectionString, "User ID"));
        add("PWD", ConnectionKeyValue(connectionString, "Password"));
    }
    result += ";ClientCharset=UTF-8";
    return result;
}

namespace orvik {
namespace {

class SqliteProvider : public DatabaseProvider {
  public:
    bool Serves(std::string_view lowerName) const override {
        return StartsWith(std::string(lowerName), "sqlite");
    }
    std::string Description() const override { return "SQLite (Data Source=<database file>)"; }
    std::unique_ptr<CProviderConnection> Connect(std::string_view connectionString,
                                                 const std::string& programFolder, int) override {
        const std::string dataSource = ConnectionKeyValue(connectionString, "Data Source");
        if (dataSource.empty())
            throw CADOException(AdoError::Failure, "No database file given (Data Source=)",
                                "SQLite");
        return std::make_unique<SqliteConnection>(SqlitePath(dataSource, programFolder));
    }
};

class OdbcProvider : public DatabaseProvider {
  public:
    bool Serves(std::string_view lowerName) const override {
        return IsOdbcProvider(std::string(lowerName));
    }
    std::string Description() const override {
        return "ODBC and MSDASQL (any installed ODBC driver or DSN)";
    }
    std::unique_ptr<CProviderConnection> Connect(std::string_view connectionString,
                                                 const std::string&,
                                                 int loginTimeoutSeconds) override {
        return std::make_unique<OdbcConnection>(OdbcConnectionText(connectionString),
                                                loginTimeoutSeconds);
    }
};

// Served only where the FreeTDS driver is installed; elsewhere its names are not found.
class SqlServerProvider : public DatabaseProvider {
  public:
    bool Serves(std::string_view lowerName) const override {
        return IsSqlServerProvider(std::string(lowerName));
    }
    std::string Description() const override {
        return SqlServerDriver().empty()
                   ? std::string()
                   : "SQLOLEDB, SQLNCLI and MSOLEDBSQL (through the FreeTDS ODBC driver)";
    }
    std::unique_ptr<CProviderConnection> Connect(std::string_view connectionString,
                                                 const std::string&,
                                                 int loginTimeoutSeconds) override {
        const std::string driver = SqlServerDriver();
        if (driver.empty())
            throw CADOException(AdoError::ProviderNotFound,
                                AdoErrorMeaning(AdoError::ProviderNotFound));
        // FreeTDS passes on what the server calls itself; a driver that says nothing still
        // stands for SQL Server here.
        return std::make_unique<OdbcConnection>(SqlServerToOdbc(connectionString, driver),
                                                loginTimeoutSeconds, "Microsoft SQL Server");
    }
};

}  // namespace

std::vector<std::shared_ptr<DatabaseProvider>> BuiltinDatabaseProviders() {
    return {std::make_shared<SqliteProvider>(), std::make_shared<OdbcProvider>(),
            std::make_shared<SqlServerProvider>()};
}

}  // namespace orvik

std::string AvailableProvidersText() {
    return orvik::ProviderRegistry::Process().AvailableText();
}

std::unique_ptr<CProviderConnection> OpenProviderConnection(std::string_view connectionString,
                                                            const std::string& programFolder,
                                                            int loginTimeoutSeconds) {
    const std::shared_ptr<orvik::DatabaseProvider> provider =
        orvik::ProviderRegistry::Process().Find(connectionString);
    if (!provider)
        throw CADOException(AdoError::ProviderNotFound,
                            AdoErrorMeaning(AdoError::ProviderNotFound));
    return provider->Connect(connectionString, programFolder, loginTimeoutSeconds);
}
