#include "olap/OlapProviderConnection.h"

#include "data/AdoException.h"

namespace orvik {

void FlattenCellSet(const CellSetData& cells, RowStore& into) {
    std::vector<FieldInfo> fields;
    const CellSetAxis* columns = cells.Axes.size() > 0 ? &cells.Axes[0] : nullptr;
    const CellSetAxis* rows = cells.Axes.size() > 1 ? &cells.Axes[1] : nullptr;
    size_t rowMembers = 0;
    if (rows && !rows->Positions.empty()) {
        rowMembers = rows->Positions.front().Members.size();
        for (const CellSetMember& member : rows->Positions.front().Members)
            fields.push_back({member.LevelUniqueName + ".[MEMBER_CAPTION]", VariantType::String});
    }
    const size_t columnCount = columns ? columns->Positions.size() : 1;
    if (columns) {
        for (const CellSetPosition& position : columns->Positions) {
            std::string name;
            for (const CellSetMember& member : position.Members)
                name += (name.empty() ? "" : ".") + member.UniqueName;
            fields.push_back({name, VariantType::Empty});
        }
    } else {
        fields.push_back({"Value", VariantType::Empty});
    }
    into.SetFields(std::move(fields));
    const size_t rowCount = rows ? rows->Positions.size() : 1;
    for (size_t r = 0; r < rowCount; ++r) {
        into.AppendRow();
        if (rows)
            for (size_t m = 0; m < rowMembers && m < rows->Positions[r].Members.size(); ++m)
                into.PutText(m, rows->Positions[r].Members[m].Caption);
        for (size_t c = 0; c < columnCount; ++c) {
            const size_t ordinal = r * columnCount + c;
            if (ordinal < cells.Cells.size() && !cells.Cells[ordinal].Value.IsEmpty())
                into.Put(rowMembers + c, cells.Cells[ordinal].Value);
            else
                into.PutNull(rowMembers + c);
        }
    }
}

bool OlapProviderConnection::Execute(const std::string& command, RowStore& into) {
    FlattenCellSet(connection_->Execute(command), into);
    return true;
}

bool OlapProviderConnection::ExecuteProcedure(const std::string&, RowStore&) {
    throw CADOException(AdoError::FeatureNotAvailable,
                        "An OLAP connection runs MDX, not stored procedures", ProviderName());
}

void OlapProviderConnection::SchemaColumns(const std::string&, RowStore&) {
    throw CADOException(AdoError::FeatureNotAvailable,
                        "An OLAP connection has no tables: ask for its cubes instead",
                        ProviderName());
}

void OlapProviderConnection::SchemaTables(RowStore&) {
    throw CADOException(AdoError::FeatureNotAvailable,
                        "An OLAP connection has no tables: ask for its cubes instead",
                        ProviderName());
}

void OlapProviderConnection::SchemaRowset(const std::string& schemaId,
                                          const std::string& restriction, RowStore& into) {
    connection_->SchemaRowset(schemaId, restriction, into);
}

}  // namespace orvik
