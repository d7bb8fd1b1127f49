// The XMLA protocol over the server's catalogs, apart from HTTP: a request body in, a reply body
// out, with what the request was for the log. Discover answers DBSCHEMA_CATALOGS and
// DISCOVER_DATASOURCES itself and the MDSCHEMA_* rowsets from a connection to the catalog;
// Execute runs the statement into a cell set, written as MDDataSet or (Format=Tabular) as a
// flattened rowset. Sessions are kept so that clients that ask for them get them; the engine
// keeps no state between requests, so a session is only a name tied to its user.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "xmlaserver/XmlaCatalog.h"

namespace orvik::xmla {

// Who sends a request, and which catalogs they may see.
struct Caller {
    std::string User;                                       // "" when the server asks no login
    std::function<bool(const std::string&)> MayUseCatalog;  // empty: every catalog
};

// The reply and what the log says about the request.
struct Answer {
    int Status = 200;  // 500 with a SOAP fault
    std::string Body;
    std::string RequestType;  // "MDSCHEMA_CUBES", "EXECUTE", ... ("" when unreadable)
    std::string Catalog;
    std::string Cube;
    size_t Cells = 0;   // cells of a cell set, rows of a rowset
    std::string Fault;  // the fault's text, "" when answered
};

class Service {
  public:
    // Sessions kept at most; beyond it the one used longest ago ends.
    static constexpr size_t kMaxSessions = 4096;

    // Adds a catalog before the service answers its first request. The first added is the
    // default of requests that name none.
    void AddCatalog(std::string name, Catalog::Opener open);
    // The catalog `name` (compared without case), or nullptr.
    Catalog* FindCatalog(const std::string& name);
    const std::vector<std::unique_ptr<Catalog>>& Catalogs() const { return catalogs_; }

    // Answers `body` for `caller`. Never throws: every failure is a SOAP fault in the answer.
    // May be called from many threads at once.
    Answer Respond(std::string_view body, const Caller& caller);

  private:
    std::string OpenSession(const std::string& user);
    // Whether `id` is an open session of `user`; ends it when `end` is set.
    bool UseSession(const std::string& id, const std::string& user, bool end);

    std::vector<std::unique_ptr<Catalog>> catalogs_;
    std::mutex sessionLock_;
    std::map<std::string, std::pair<std::string, unsigned long>> sessions_;  // id: user, last use
    unsigned long sessionClock_ = 0;
};

// The cube a statement reads: the name after its last FROM outside brackets, quotes and
// comments, without its brackets; "" when there is none.
std::string StatementCube(std::string_view statement);

}  // namespace orvik::xmla
