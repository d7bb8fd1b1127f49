// Sessions: the first request asks for one (BeginSession). A server that keeps sessions names
// it in the reply's header and every later request carries it; one that does not either leaves
// the header out or refuses it as not understood, and the request is then sent again without.
#include "olap/XmlaClient.h"

#include <cctype>
#include <cstdlib>

#include "data/AdoException.h"
#include "data/ConnectionString.h"
#include "olap/XmlaCellSetReader.h"
#include "olap/XmlaRowsetReader.h"

namespace orvik::xmla {
namespace {

constexpr const char* kSource = "XMLA";

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The first non-empty value among `keys`.
std::string KeyValue(std::string_view text, std::initializer_list<std::string_view> keys) {
    for (std::string_view key : keys)
        if (std::string value = ConnectionKeyValue(text, key); !value.empty()) return value;
    return {};
}

long Seconds(std::string_view text, std::string_view key, long fallback) {
    const std::string value = ConnectionKeyValue(text, key);
    const long seconds = std::atol(value.c_str());
    return seconds > 0 ? seconds : fallback;
}

// The host of an http(s) URL, without login, port or brackets.
std::string HostOf(const std::string& url) {
    std::string_view rest(url);
    rest.remove_prefix(rest.find("://") + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const size_t at = rest.rfind('@'); at != std::string_view::npos) rest.remove_prefix(at + 1);
    if (rest.starts_with("[")) return std::string(rest.substr(1, rest.find(']') - 1));
    return std::string(rest.substr(0, rest.find(':')));
}

bool IsLoopback(const std::string& host) {
    const std::string lower = Lower(host);
    return lower == "localhost" || lower == "::1" || lower.starts_with("127.");
}

[[noreturn]] void ThrowHttpError(const HttpExchange& exchange, const std::string& detail) {
    std::string message = "The OLAP server at " + exchange.ShownUrl() + " answered HTTP " +
                          std::to_string(exchange.Status());
    if (!exchange.Reason().empty()) message += " " + exchange.Reason();
    switch (exchange.Status()) {
        case 401:
            message += ": check User ID and Password";
            break;
        case 403:
            message += ": this login may not use the server or catalog";
            break;
        case 404:
            message += ": check the address in Data Source";
            break;
        default:
            break;
    }
    if (!detail.empty()) message += "\n" + detail;
    throw CADOException(AdoError::Failure, message, kSource);
}

// Refuses what cannot be an XMLA reply before reading it: an HTML page (a login portal, a web
// server's own page at a wrong address) or an error status without an XML body.
void CheckReplyKind(const HttpExchange& exchange) {
    const std::string type = Lower(exchange.ContentType());
    if (type.find("html") != std::string::npos) {
        if (exchange.Status() >= 300) ThrowHttpError(exchange, {});
        throw CADOException(AdoError::Failure,
                            "The server at " + exchange.ShownUrl() +
                                " answered with an HTML page, not an XMLA reply: check that "
                                "Data Source is the OLAP server's XMLA address",
                            kSource);
    }
    if (exchange.Status() >= 300 && type.find("xml") == std::string::npos)
        ThrowHttpError(exchange, {});
}

}  // namespace

bool IsHttpAddress(std::string_view dataSource) {
    const std::string lower = Lower(dataSource.substr(0, 8));
    return lower.starts_with("http://") || lower.starts_with("https://");
}

Client::Client(std::string_view connectionString) {
    http_.Url = std::string(ConnectionKeyValue(connectionString, "Data Source"));
    if (!IsHttpAddress(http_.Url) || http_.Url.size() <= 8)
        throw CADOException(AdoError::ProviderNotFound,
                            std::string(AdoErrorMeaning(AdoError::ProviderNotFound)) +
                                " OLAP servers are reached over HTTP here (XMLA): Data Source "
                                "must be the server's http:// or https:// address, such as "
                                "https://olap.example.com/xmla",
                            kSource);
    catalog_ = KeyValue(connectionString, {"Initial Catalog", "Catalog"});
    http_.User = KeyValue(connectionString, {"User ID", "UID", "User"});
    http_.Password = KeyValue(connectionString, {"Password", "PWD"});
    http_.ConnectTimeoutSeconds = Seconds(connectionString, "Connect Timeout", 15);
    http_.TimeoutSeconds = Seconds(connectionString, "Timeout", 0);
    dataSourceInfo_ = ConnectionKeyValue(connectionString, "DataSourceInfo");
    localeIdentifier_ = ConnectionKeyValue(connectionString, "LocaleIdentifier");
    // Basic authentication sends the password readable by anyone on the way.
    const bool plain = Lower(http_.Url).starts_with("http://");
    const bool allowed =
        Lower(ConnectionKeyValue(connectionString, "Allow Plain Text Password")) == "true";
    if (!http_.User.empty() && plain && !IsLoopback(HostOf(http_.Url)) && !allowed)
        throw CADOException(AdoError::Failure,
                            "The password for " + ShownUrl() +
                                " would travel unencrypted over http://: use the server's "
                                "https:// address, or add Allow Plain Text Password=True to the "
                                "connection string if the network is trusted",
                            kSource);
}

Client::~Client() {
    if (sessions_ != Sessions::Kept) return;
    try {
        Request end;
        end.Kind = Method::Execute;
        end.Session = SessionHeader::End;
        end.SessionId = sessionId_;
        HttpSettings quick = http_;
        quick.ConnectTimeoutSeconds = 2;
        quick.TimeoutSeconds = 5;
        HttpExchange exchange(quick, Envelope(end), SoapAction(end.Kind));
        exchange.Start();
        char sink[4096];
        while (exchange.Read(sink, sizeof sink) > 0) {
        }
    } catch (...) {
        // The server ends an abandoned session on its own; closing must not fail for it.
    }
}

std::string Client::ShownUrl() const {
    return xmla::ShownUrl(http_.Url);
}

std::vector<std::pair<std::string, std::string>> Client::Properties(const char* format) const {
    std::vector<std::pair<std::string, std::string>> properties;
    if (!dataSourceInfo_.empty()) properties.emplace_back("DataSourceInfo", dataSourceInfo_);
    if (!catalog_.empty()) properties.emplace_back("Catalog", catalog_);
    properties.emplace_back("Format", format);
    if (std::string_view(format) == "Multidimensional")
        properties.emplace_back("AxisFormat", "TupleFormat");
    if (!localeIdentifier_.empty()) properties.emplace_back("LocaleIdentifier", localeIdentifier_);
    return properties;
}

template <typename ReadReply>
ReplyInfo Client::Exchange(Request request, ReadReply&& read) {
    std::lock_guard guard(lock_);
    for (bool retried = false;; retried = true) {
        request.Session = SessionHeader::None;
        if (sessions_ == Sessions::NotAsked) request.Session = SessionHeader::Begin;
        if (sessions_ == Sessions::Kept) {
            request.Session = SessionHeader::Use;
            request.SessionId = sessionId_;
        }
        HttpExchange exchange(http_, Envelope(request), SoapAction(request.Kind));
        exchange.Start();
        CheckReplyKind(exchange);
        ReplyInfo info;
        try {
            info = read(exchange);
        } catch (const XmlaFault& fault) {
            if (request.Session == SessionHeader::Begin && fault.IsMustUnderstand() && !retried) {
                sessions_ = Sessions::Unsupported;
                continue;
            }
            // Servers end idle sessions; a connection kept for a later run then finds its
            // session gone and starts a new one. Requests only read, so one more try is safe.
            if (request.Session == SessionHeader::Use && !retried &&
                Lower(fault.what()).find("session") != std::string::npos) {
                sessions_ = Sessions::NotAsked;
                sessionId_.clear();
                continue;
            }
            throw;
        } catch (const CADOException& error) {
            // A reply that is not XMLA under an error status: the status says more.
            if (exchange.Status() >= 300) ThrowHttpError(exchange, error.what());
            const std::string message = error.what();
            if (message.find(exchange.ShownUrl()) != std::string::npos) throw;
            throw CADOException(error.GetError(), message + " (from " + exchange.ShownUrl() + ")",
                                error.GetSource());
        }
        if (exchange.Status() >= 300) ThrowHttpError(exchange, {});
        if (request.Session == SessionHeader::Begin) {
            sessionId_ = info.SessionId;
            sessions_ = sessionId_.empty() ? Sessions::Unsupported : Sessions::Kept;
        }
        return info;
    }
}

ReplyInfo Client::Discover(const std::string& requestType, Restrictions restrictions,
                           RowStore& into, std::vector<FieldInfo> standard) {
    Request request;
    request.Kind = Method::Discover;
    request.RequestType = requestType;
    const bool catalogGiven = std::any_of(restrictions.begin(), restrictions.end(),
                                          [](const auto& r) { return r.first == "CATALOG_NAME"; });
    if (!catalog_.empty() && !catalogGiven && requestType != "DBSCHEMA_CATALOGS")
        restrictions.insert(restrictions.begin(), {"CATALOG_NAME", catalog_});
    request.Restrictions = std::move(restrictions);
    request.Properties = Properties("Tabular");
    request.Properties.emplace_back("Content", "SchemaData");
    return Exchange(std::move(request), [&](XmlaByteSource& source) {
        return ReadRowsetReply(source, into, std::move(standard));
    });
}

CellSetData Client::Execute(const std::string& statement) {
    Request request;
    request.Kind = Method::Execute;
    request.Statement = statement;
    request.Properties = Properties("Multidimensional");
    CellSetData data;
    Exchange(std::move(request), [&](XmlaByteSource& source) {
        ReplyInfo info;
        data = ReadCellSetReply(source, &info);
        return info;
    });
    return data;
}

ReplyInfo Client::ExecuteTabular(const std::string& statement, RowStore& into) {
    Request request;
    request.Kind = Method::Execute;
    request.Statement = statement;
    request.Properties = Properties("Tabular");
    return Exchange(std::move(request),
                    [&](XmlaByteSource& source) { return ReadRowsetReply(source, into); });
}

}  // namespace orvik::xmla
