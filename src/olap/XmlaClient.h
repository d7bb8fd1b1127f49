// An XMLA client for one connection string: where the server is, how to log in, which catalog,
// and the server-side session that ties the requests of one connection together. Discover
// reads a schema rowset, Execute runs a statement into a cell set (Multidimensional) or a table
// (Tabular). Every failure is a CADOException whose text the user can act on: the server's own
// error text, the HTTP status and reason, or what kept the server from being reached.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "data/AdoCellSet.h"
#include "data/RowStore.h"
#include "olap/XmlaHttp.h"
#include "olap/XmlaRequest.h"
#include "olap/XmlaResponse.h"

namespace orvik::xmla {

using Restrictions = std::vector<std::pair<std::string, std::string>>;

// True when `dataSource` is an http:// or https:// address (any case).
bool IsHttpAddress(std::string_view dataSource);

class Client {
  public:
    // Reads Data Source (the server's http(s) address), Initial Catalog (or Catalog), User ID
    // and Password (HTTP basic authentication), Timeout and Connect Timeout (seconds),
    // DataSourceInfo and LocaleIdentifier (passed on as properties). Throws CADOException:
    // ProviderNotFound when Data Source is not an http(s) address, Failure when a password
    // would go to another machine over plain HTTP (unless Allow Plain Text Password=True).
    explicit Client(std::string_view connectionString);
    // Ends the server-side session, if one was begun, without waiting long for the answer.
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Reads the rowset `requestType` restricted by `restrictions` (the catalog restriction is
    // added when the connection names a catalog and none is given) into `into`, the
    // `standard` columns first. Throws CADOException.
    ReplyInfo Discover(const std::string& requestType, Restrictions restrictions, RowStore& into,
                       std::vector<FieldInfo> standard = {});
    // Runs `statement` into a cell set; the server's warnings are in its Warnings. Throws.
    CellSetData Execute(const std::string& statement);
    // Runs `statement` and reads its result as a table (Format=Tabular). Throws.
    ReplyInfo ExecuteTabular(const std::string& statement, RowStore& into);

    const std::string& Catalog() const { return catalog_; }
    // The server's address without any login in it.
    std::string ShownUrl() const;

  private:
    // Sends `request` (with the session header) and hands the reply to `read`.
    template <typename ReadReply>
    ReplyInfo Exchange(Request request, ReadReply&& read);
    std::vector<std::pair<std::string, std::string>> Properties(const char* format) const;

    enum class Sessions { NotAsked, Kept, Unsupported };

    HttpSettings http_;
    std::string catalog_;
    std::string dataSourceInfo_;
    std::string localeIdentifier_;
    std::mutex lock_;  // one request at a time, so the session id stays consistent
    Sessions sessions_ = Sessions::NotAsked;
    std::string sessionId_;
};

}  // namespace orvik::xmla
