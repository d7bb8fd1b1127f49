// An OLAP server reached over XMLA, seen through the same OlapConnection as the embedded cube
// engine: the catalog (cubes, measures, dimensions, hierarchies, levels, members) comes from
// the server's schema rowsets, MDX runs on the server into a cell set, and schema rowsets are
// the server's own. Served for "Provider=XMLA" and the Windows OLAP provider names ("MSOLAP",
// "MSOLAP.8") with an http(s) Data Source.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "olap/OlapConnection.h"
#include "olap/XmlaClient.h"

namespace orvik {

class XmlaConnection : public OlapConnection {
  public:
    // Throws CADOException as xmla::Client does (ProviderNotFound for a Data Source that is
    // not an http(s) address). Nothing is sent until the first call.
    explicit XmlaConnection(const std::string& connectionString);

    std::vector<std::string> CubeNames() override;
    // Throws CADOException when the catalog has no cube `name`.
    OlapCube Cube(const std::string& name) override;
    std::vector<CellSetMember> LevelMembers(const std::string& cube,
                                            const std::string& levelUniqueName) override;
    std::vector<CellSetMember> ChildMembers(const std::string& cube,
                                            const std::string& memberUniqueName) override;
    CellSetData Execute(const std::string& mdx) override;
    // The server flattens the result itself (the Tabular format), as recordsets on a server
    // connection always read MDX.
    void ExecuteRows(const std::string& mdx, RowStore& into) override;
    std::vector<std::string> TakeWarnings() override;
    // The server's own rowset, its standard columns first in their standard order. A server
    // that has no KPI rowset gives an empty KPI list (and a warning), as a catalog without KPIs.
    void SchemaRowset(const std::string& schemaId, const std::string& cubeRestriction,
                      RowStore& into) override;

    xmla::Client& Client() { return client_; }

  private:
    std::vector<CellSetMember> Members(xmla::Restrictions restrictions);
    void Warn(std::vector<std::string> warnings);

    xmla::Client client_;
    std::mutex lock_;  // guards the caches and the warnings
    std::optional<std::vector<std::string>> cubeNames_;
    std::map<std::string, OlapCube> cubes_;  // by name in lower case, as names compare
    std::vector<std::string> warnings_;
};

}  // namespace orvik
