// What every OLAP provider offers the program: the catalog of its cubes (measures, dimensions,
// hierarchies, levels and members) and MDX run into a cell set. The embedded cube engine serves
// "Provider=Orvik.Cube"; a server reached over XMLA fits behind the same class. The data source,
// the query builder, schema rowsets and the KPI list read OLAP only through it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/AdoCellSet.h"
#include "data/RowStore.h"

namespace orvik {

struct OlapLevel {
    std::string Name;
    std::string UniqueName;  // "[Time].[Quarter]", or "[Time.Weekly].[Week]" in a second hierarchy
    std::string Caption;
    int Number = 0;  // depth in its hierarchy: 0 for the All level when there is one
    bool IsAll = false;
};

struct OlapHierarchy {
    std::string Name;
    std::string UniqueName;  // "[Time]" for a dimension's only or first hierarchy
    std::string Caption;
    std::string DefaultMember;  // unique name
    bool HasAll = true;
    std::vector<OlapLevel> Levels;
};

struct OlapDimension {
    std::string Name;
    std::string UniqueName;
    std::string Caption;
    bool IsTime = false;
    std::vector<OlapHierarchy> Hierarchies;
};

struct OlapMeasure {
    std::string Name;
    std::string UniqueName;  // "[Measures].[Unit Sales]"
    std::string Caption;
    std::string Aggregator;  // "sum", "count", "distinct-count", "min", "max", "avg", "calculated"
    std::string FormatString;
    bool Visible = true;
};

// A key performance indicator: its expressions as MDX text (empty where it has none).
struct OlapKpi {
    std::string Name;
    std::string Caption;
    std::string Description;
    std::string DisplayFolder;
    std::string Value;
    std::string Goal;
    std::string Status;
    std::string Trend;
    std::string Weight;
    std::string StatusGraphic;
    std::string TrendGraphic;
    std::string Parent;  // the name of the KPI it belongs under
};

struct OlapCube {
    std::string Name;
    std::string Caption;
    std::vector<OlapMeasure> Measures;
    std::vector<OlapDimension> Dimensions;  // without the Measures dimension
    std::vector<OlapKpi> Kpis;
};

// One open OLAP connection. Catalog calls are cheap after the first: a provider reads its member
// lists once and keeps them for the connection's life. Every call throws CADOException with a
// message a report author can act on.
class OlapConnection {
  public:
    virtual ~OlapConnection() = default;

    // The names of the cubes (and virtual cubes) the catalog offers, in catalog order.
    virtual std::vector<std::string> CubeNames() = 0;
    // One cube's measures and dimensions; throws when there is no cube `name`.
    virtual OlapCube Cube(const std::string& name) = 0;
    // The members of the level `levelUniqueName` in hierarchy order.
    virtual std::vector<CellSetMember> LevelMembers(const std::string& cube,
                                                    const std::string& levelUniqueName) = 0;
    // The children of the member `memberUniqueName` in hierarchy order.
    virtual std::vector<CellSetMember> ChildMembers(const std::string& cube,
                                                    const std::string& memberUniqueName) = 0;
    // Runs an MDX SELECT.
    virtual CellSetData Execute(const std::string& mdx) = 0;
    // Runs an MDX SELECT into rows, as a recordset opened with MDX reads it (FlattenCellSet's
    // layout); a server may flatten the result itself.
    virtual void ExecuteRows(const std::string& mdx, RowStore& into);
    // What the connection found wrong in its catalog and worked around (a calculated member left
    // out), each said once: a call hands over what was found since the last one.
    virtual std::vector<std::string> TakeWarnings() { return {}; }
    // What the connection chose on the way (which table answered a query), for a log that asks
    // for such detail; handed over like the warnings.
    virtual std::vector<std::string> TakeNotes() { return {}; }
    // Fills `into` with the schema rowset `schemaId` names (its OLE DB schema GUID or its
    // MDSCHEMA_* name) for the cube `cubeRestriction` ("" for every cube). The default builds it
    // from the catalog calls above; a server may answer with its own rowsets instead. Throws
    // CADOException: FeatureNotAvailable for a schema id this connection cannot serve.
    virtual void SchemaRowset(const std::string& schemaId, const std::string& cubeRestriction,
                              RowStore& into);
};

// Relative file names in the string are taken from `programFolder`.
using OlapConnectionFactory = std::function<std::shared_ptr<OlapConnection>(
    const std::string& connectionString, const std::string& programFolder)>;

// Serves connection strings whose Provider value starts with `providerName` (without case).
void RegisterOlapProvider(const std::string& providerName, OlapConnectionFactory factory);
// Serves connection strings whose Provider value starts with any of `providerNames`; the
// provider-not-found message lists it as `description`.
void RegisterOlapProvider(std::vector<std::string> providerNames, std::string description,
                          OlapConnectionFactory factory);

// True when some registered OLAP provider serves `connectionString`.
bool IsOlapConnectionString(const std::string& connectionString);

// Opens (or reuses, for the same string) a connection through the provider the string names.
// Relative file names in the string are taken from `programFolder` (the working folder when none
// is given). Throws CADOException: ProviderNotFound when no OLAP provider serves it.
std::shared_ptr<OlapConnection> OpenOlapConnection(const std::string& connectionString,
                                                   const std::string& programFolder = {});

}  // namespace orvik
