// A request finds its catalog by the Catalog property, else by a CATALOG_NAME restriction, else
// it is the first catalog the caller may use, as servers treat a client that names none. A
// catalog the caller may not use is answered exactly like one that does not exist, so that the
// answer does not tell a user which other catalogs there are.
#include "xmlaserver/XmlaService.h"

#include <strings.h>
#include <sys/random.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <new>

#include "data/AdoException.h"
#include "olap/OlapProviderConnection.h"
#include "olap/OlapSchemaRowsets.h"
#include "xmlaserver/XmlaReplyWriter.h"
#include "xmlaserver/XmlaRowsetFilter.h"
#include "xmlaserver/XmlaServerRequest.h"

namespace orvik::xmla {
namespace {

// What a Discover handler works with.
struct DiscoverContext {
    Service& Server;
    const Caller& Who;
    const Request& Asked;
    Answer& Reply;
};

bool MayUse(const Caller& caller, const std::string& catalog) {
    return !caller.MayUseCatalog || caller.MayUseCatalog(catalog);
}

const FieldInfo Text(const char* name) {
    return FieldInfo{name, VariantType::String};
}

// The catalog the request means; throws RequestError when it names one the caller cannot use.
Catalog& ChooseCatalog(Service& server, const Caller& caller, const Request& request) {
    std::string name = PropertyOf(request, "Catalog");
    if (name.empty()) name = RestrictionOf(request, "CATALOG_NAME");
    if (name.empty()) {
        for (const auto& catalog : server.Catalogs())
            if (MayUse(caller, catalog->Name())) return *catalog;
        throw RequestError("There is no catalog you may use on this server");
    }
    Catalog* catalog = server.FindCatalog(name);
    if (!catalog || !MayUse(caller, catalog->Name()))
        throw RequestError("There is no catalog '" + name + "' you may use on this server");
    return *catalog;
}

void DiscoverCatalogs(DiscoverContext& context, RowStore& rows) {
    rows.SetFields({Text("CATALOG_NAME"), Text("DESCRIPTION"), Text("ROLES"),
                    FieldInfo{"DATE_MODIFIED", VariantType::Date}});
    const std::string only = RestrictionOf(context.Asked, "CATALOG_NAME");
    for (const auto& catalog : context.Server.Catalogs()) {
        if (!MayUse(context.Who, catalog->Name())) continue;
        if (!only.empty() && strcasecmp(only.c_str(), catalog->Name().c_str()) != 0) continue;
        rows.AppendRow();
        rows.PutText(0, catalog->Name());
        rows.PutNull(1);
        rows.PutNull(2);
        rows.PutNull(3);
    }
}

void DiscoverDataSources(DiscoverContext&, RowStore& rows) {
    rows.SetFields({Text("DataSourceName"), Text("DataSourceDescription"), Text("URL"),
                    Text("DataSourceInfo"), Text("ProviderName"), Text("ProviderType"),
                    Text("AuthenticationMode")});
    rows.AppendRow();
    rows.PutText(0, "Orvik");
    rows.PutText(1, "Orvik cube server");
    rows.PutNull(2);
    rows.PutText(3, "Orvik");
    rows.PutText(4, "Orvik");
    rows.PutText(5, "MDP");
    rows.PutText(6, "Unauthenticated");
}

// An MDSCHEMA_* rowset from a connection to the request's catalog.
void DiscoverSchema(DiscoverContext& context, RowStore& rows) {
    Catalog& catalog = ChooseCatalog(context.Server, context.Who, context.Asked);
    context.Reply.Catalog = catalog.Name();
    // Refused before a connection is taken when the rowset is not one there is.
    FindOlapSchemaRowset(context.Asked.RequestType);
    Catalog::Lease connection = catalog.Borrow();
    connection->SchemaRowset(context.Asked.RequestType, context.Reply.Cube, rows);
}

using DiscoverHandler = void (*)(DiscoverContext&, RowStore&);

// The rowsets the server makes itself; every other request type goes to the catalog.
const std::map<std::string, DiscoverHandler>& OwnRowsets() {
    static const std::map<std::string, DiscoverHandler> table = {
        {"DBSCHEMA_CATALOGS", &DiscoverCatalogs},
        {"DISCOVER_DATASOURCES", &DiscoverDataSources},
    };
    return table;
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

void Discover(Service& server, const Caller& caller, const Request& request,
              const std::string& sessionId, Answer& answer) {
    answer.RequestType = Upper(request.RequestType);
    answer.Cube = RestrictionOf(request, "CUBE_NAME");
    RowStore rows;
    DiscoverContext context{server, caller, request, answer};
    const auto own = OwnRowsets().find(answer.RequestType);
    if (own != OwnRowsets().end())
        own->second(context, rows);
    else
        DiscoverSchema(context, rows);
    // The rows name the catalog as the server does, whatever the schema file calls itself.
    std::vector<std::pair<size_t, std::string>> fixed;
    if (!answer.Catalog.empty())
        for (size_t c = 0; c < rows.FieldCount(); ++c)
            if (rows.Fields()[c].Name == "CATALOG_NAME") fixed.emplace_back(c, answer.Catalog);
    const RowsetFilter filter(rows, request.Restrictions);
    answer.Cells = filter.KeptCount();
    BeginReply(answer.Body, Method::Discover, sessionId);
    WriteRowset(
        answer.Body, rows, [&](size_t row) { return filter.Keeps(row); }, fixed);
    EndReply(answer.Body, Method::Discover);
}

void Execute(Service& server, const Caller& caller, const Request& request,
             const std::string& sessionId, Answer& answer) {
    answer.RequestType = "EXECUTE";
    Catalog& catalog = ChooseCatalog(server, caller, request);
    answer.Catalog = catalog.Name();
    answer.Cube = StatementCube(request.Statement);
    CellSetData data;
    {
        Catalog::Lease connection = catalog.Borrow();
        data = connection->Execute(request.Statement);
    }
    answer.Cells = data.Cells.size();
    const bool tabular = strcasecmp(PropertyOf(request, "Format").c_str(), "Tabular") == 0;
    // A million cells come to some 80 MB of text; reserving spares the copies of growing.
    answer.Body.reserve(4096 + data.Cells.size() * 80);
    BeginReply(answer.Body, Method::Execute, sessionId);
    if (tabular) {
        RowStore rows;
        FlattenCellSet(data, rows);
        WriteRowset(answer.Body, rows);
    } else {
        WriteCellSet(answer.Body, data, answer.Cube);
    }
    EndReply(answer.Body, Method::Execute);
}

std::string NewSessionId() {
    unsigned char bytes[16] = {};
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n > 0) got += static_cast<size_t>(n);
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    char text[40];
    std::snprintf(text, sizeof text,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                  bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

}  // namespace

void Service::AddCatalog(std::string name, Catalog::Opener open) {
    catalogs_.push_back(std::make_unique<Catalog>(std::move(name), std::move(open)));
}

Catalog* Service::FindCatalog(const std::string& name) {
    for (const auto& catalog : catalogs_)
        if (strcasecmp(catalog->Name().c_str(), name.c_str()) == 0) return catalog.get();
    return nullptr;
}

std::string Service::OpenSession(const std::string& user) {
    std::lock_guard<std::mutex> hold(sessionLock_);
    if (sessions_.size() >= kMaxSessions) {
        auto oldest = sessions_.begin();
        for (auto it = sessions_.begin(); it != sessions_.end(); ++it)
            if (it->second.second < oldest->second.second) oldest = it;
        sessions_.erase(oldest);
    }
    std::string id = NewSessionId();
    sessions_[id] = {user, ++sessionClock_};
    return id;
}

bool Service::UseSession(const std::string& id, const std::string& user, bool end) {
    std::lock_guard<std::mutex> hold(sessionLock_);
    const auto found = sessions_.find(id);
    if (found == sessions_.end() || found->second.first != user) return false;
    if (end)
        sessions_.erase(found);
    else
        found->second.second = ++sessionClock_;
    return true;
}

Answer Service::Respond(std::string_view body, const Caller& caller) {
    Answer answer;
    const char* faultCode = "Server";
    try {
        const Request request = ReadServerRequest(body);
        std::string sessionId;
        switch (request.Session) {
            case SessionHeader::None:
                break;
            case SessionHeader::Begin:
                sessionId = OpenSession(caller.User);
                break;
            case SessionHeader::Use:
            case SessionHeader::End:
                if (!UseSession(request.SessionId, caller.User,
                                request.Session == SessionHeader::End))
                    throw RequestError("The session " + request.SessionId +
                                       " is not open on this server (it has ended, or the "
                                       "server was restarted): connect again");
                if (request.Session == SessionHeader::Use) sessionId = request.SessionId;
                break;
        }
        if (request.Session == SessionHeader::End) {
            answer.RequestType = "ENDSESSION";
            BeginReply(answer.Body, request.Kind, {});
            WriteEmptyRoot(answer.Body);
            EndReply(answer.Body, request.Kind);
        } else if (request.Kind == Method::Discover)
            Discover(*this, caller, request, sessionId, answer);
        else
            Execute(*this, caller, request, sessionId, answer);
        return answer;
    } catch (const RequestError& error) {
        faultCode = "Client";
        answer.Fault = error.what();
    } catch (const CADOException& error) {
        answer.Fault = error.what();
    } catch (const std::bad_alloc&) {
        answer.Fault = "The server has not enough memory to answer this request";
    } catch (const std::exception& error) {
        answer.Fault = std::string("The server failed to answer: ") + error.what();
    }
    answer.Status = 500;
    answer.Cells = 0;
    answer.Body = FaultReply(faultCode, answer.Fault);
    return answer;
}

std::string StatementCube(std::string_view statement) {
    std::string cube;
    size_t i = 0;
    const size_t n = statement.size();
    auto isWord = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    while (i < n) {
        const char c = statement[i];
        if (c == '[') {
            i = statement.find(']', i + 1);
            // "]]" stands for one bracket inside a name.
            while (i != std::string_view::npos && i + 1 < n && statement[i + 1] == ']')
                i = statement.find(']', i + 2);
            if (i == std::string_view::npos) break;
            ++i;
        } else if (c == '"' || c == '\'') {
            i = statement.find(c, i + 1);
            if (i == std::string_view::npos) break;
            ++i;
        } else if (c == '/' && i + 1 < n && statement[i + 1] == '*') {
            i = statement.find("*/", i + 2);
            if (i == std::string_view::npos) break;
            i += 2;
        } else if ((c == '-' && i + 1 < n && statement[i + 1] == '-') ||
                   (c == '/' && i + 1 < n && statement[i + 1] == '/')) {
            i = statement.find('\n', i);
            if (i == std::string_view::npos) break;
        } else if (isWord(c)) {
            size_t end = i;
            while (end < n && isWord(statement[end])) ++end;
            const std::string_view word = statement.substr(i, end - i);
            i = end;
            if (word.size() != 4 || strncasecmp(word.data(), "FROM", 4) != 0) continue;
            while (i < n && std::isspace(static_cast<unsigned char>(statement[i]))) ++i;
            if (i < n && statement[i] == '[') {
                std::string name;
                size_t j = i + 1;
                for (; j < n; ++j) {
                    if (statement[j] == ']') {
                        if (j + 1 < n && statement[j + 1] == ']') {
                            name += ']';
                            ++j;
                            continue;
                        }
                        break;
                    }
                    name += statement[j];
                }
                cube = name;
            } else {
                size_t end2 = i;
                while (end2 < n && isWord(statement[end2])) ++end2;
                if (end2 > i) cube = std::string(statement.substr(i, end2 - i));
            }
        } else {
            ++i;
        }
    }
    return cube;
}

}  // namespace orvik::xmla
