// An OLAP connection seen as a database connection, so that an OLAP data source connects the way
// every other source does and a recordset can hold MDX results: a command is MDX, and its cell
// set comes back flattened into rows (one row per row position, the row members' captions first,
// then one column per column position).
#pragma once

#include <memory>

#include "data/ProviderConnection.h"
#include "data/RowStore.h"
#include "olap/OlapConnection.h"

namespace orvik {

class OlapProviderConnection : public CProviderConnection {
  public:
    explicit OlapProviderConnection(std::shared_ptr<OlapConnection> connection)
        : connection_(std::move(connection)) {}

    bool Execute(const std::string& command, RowStore& into) override;
    bool ExecuteProcedure(const std::string& name, RowStore& into) override;
    void SchemaColumns(const std::string& table, RowStore& into) override;
    void SchemaTables(RowStore& into) override;
    // The OLAP connection's MDSCHEMA_* rowsets, restricted to the cube `restriction`.
    void SchemaRowset(const std::string& schemaId, const std::string& restriction,
                      RowStore& into) override;
    void SetCommandTimeout(int) override {}
    std::string ProviderName() const override { return "OLAP"; }

    OlapConnection& Olap() { return *connection_; }

  private:
    std::shared_ptr<OlapConnection> connection_;
};

// Writes `cells` into `into` as a table: a column "<level>.[MEMBER_CAPTION]" per row member,
// each followed by a column per property the row axis asked of its hierarchy (named by the
// property's unique name), then a column per column position named by its members' unique names
// joined with ".", typed by its values when they all have one type.
void FlattenCellSet(const CellSetData& cells, RowStore& into);

}  // namespace orvik
