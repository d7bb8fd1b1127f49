// The OLAP schema rowsets (cubes, dimensions, hierarchies, levels, measures, members, KPIs) as
// report tools know them from OLAP servers: the same columns in the same order, chosen by the
// OLE DB schema GUID or the MDSCHEMA_* name. They are built from any connection's catalog, so the
// catalog browser and the KPI list read the embedded engine and a server the same way; columns
// the catalog cannot fill stay null.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/RowStore.h"
#include "olap/OlapConnection.h"

namespace orvik {

enum class OlapSchemaRowsetKind {
    Cubes,
    Dimensions,
    Hierarchies,
    Levels,
    Measures,
    Properties,
    Members,
    Kpis,
};

// The rowset `schemaId` names: a schema GUID (braces optional) or an MDSCHEMA_* name, both
// without case. Throws CADOException (FeatureNotAvailable) naming the rowsets there are.
OlapSchemaRowsetKind FindOlapSchemaRowset(std::string_view schemaId);

// The rowset's MDSCHEMA_* name, as a server's Discover request names it.
const char* OlapSchemaRowsetName(OlapSchemaRowsetKind kind);

// The standard columns of rowset `kind`, in their standard order, with their types; none for the
// member properties.
std::vector<FieldInfo> OlapSchemaRowsetFields(OlapSchemaRowsetKind kind);

// Fills `into` with rowset `kind` for the cube `cubeRestriction` (compared without case; "" for
// every cube; a cube that is not there gives no rows), read from `connection`'s catalog. Members
// come hierarchy by hierarchy, each parent before its children. Throws CADOException when the
// catalog fails, and FeatureNotAvailable for the member properties, which the catalog does not
// describe.
void BuildOlapSchemaRowset(OlapConnection& connection, OlapSchemaRowsetKind kind,
                           const std::string& cubeRestriction, RowStore& into);

}  // namespace orvik
