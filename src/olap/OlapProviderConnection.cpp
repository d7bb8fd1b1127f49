#include "olap/OlapProviderConnection.h"

#include "data/AdoException.h"

namespace orvik {

namespace {

// A row-header field: the caption of a member of the row tuples, or one of its asked properties.
struct RowField {
    size_t Member = 0;
    const CellSetPropertyInfo* Property = nullptr;  // null: the caption
};

std::vector<RowField> RowFields(const CellSetAxis& rows, std::vector<FieldInfo>& fields) {
    std::vector<RowField> rowFields;
    if (rows.Positions.empty()) return rowFields;
    const CellSetMembers& first = rows.Positions.front().Members;
    const bool described = rows.Hierarchies.size() == first.size();
    for (size_t m = 0; m < first.size(); ++m) {
        fields.push_back({first[m].LevelUniqueName + ".[MEMBER_CAPTION]", VariantType::String});
        rowFields.push_back({m, nullptr});
        if (!described) continue;
        for (const CellSetPropertyInfo& property : rows.Hierarchies[m].Properties) {
            if (property.Intrinsic) continue;
            fields.push_back({property.UniqueName, property.Type});
            rowFields.push_back({m, &property});
        }
    }
    return rowFields;
}

void PutRowField(RowStore& into, size_t column, const CellSetPosition& position,
                 const RowField& field) {
    if (field.Member >= position.Members.size()) return into.PutNull(column);
    const CellSetMember& member = position.Members[field.Member];
    if (!field.Property) return into.PutText(column, member.Caption);
    for (const CellSetProperty& property : member.Properties)
        if (property.Name == field.Property->Name && !property.Value.IsNull())
            return into.Put(column, property.Value);
    into.PutNull(column);
}

// The type every value of column `column` has, so that a reader of the rows (a Tabular reply
// above all) sees numbers as numbers; Empty when the values differ in type or there are none.
VariantType CommonType(const CellSetData& cells, size_t column, size_t width, size_t rows) {
    VariantType common = VariantType::Empty;
    for (size_t r = 0; r < rows; ++r) {
        const size_t ordinal = r * width + column;
        if (ordinal >= cells.Cells.size()) break;
        const Variant& value = cells.Cells[ordinal].Value;
        if (value.IsEmpty() || value.IsNull()) continue;
        if (common != VariantType::Empty && common != value.Type()) return VariantType::Empty;
        common = value.Type();
    }
    return common;
}

}  // namespace

void FlattenCellSet(const CellSetData& cells, RowStore& into) {
    std::vector<FieldInfo> fields;
    const CellSetAxis* columns = cells.Axes.size() > 0 ? &cells.Axes[0] : nullptr;
    const CellSetAxis* rows = cells.Axes.size() > 1 ? &cells.Axes[1] : nullptr;
    const std::vector<RowField> rowFields =
        rows ? RowFields(*rows, fields) : std::vector<RowField>();
    const size_t rowMembers = rowFields.size();
    const size_t columnCount = columns ? columns->Positions.size() : 1;
    const size_t rowCount = rows ? rows->Positions.size() : 1;
    if (columns) {
        const size_t width = columns->Positions.size();
        for (size_t c = 0; c < width; ++c) {
            std::string name;
            for (const CellSetMember& member : columns->Positions[c].Members)
                name += (name.empty() ? "" : ".") + member.UniqueName;
            fields.push_back({name, CommonType(cells, c, width, rowCount)});
        }
    } else {
        fields.push_back({"Value", VariantType::Empty});
    }
    into.SetFields(std::move(fields));
    for (size_t r = 0; r < rowCount; ++r) {
        into.AppendRow();
        for (size_t f = 0; f < rowMembers; ++f)
            PutRowField(into, f, rows->Positions[r], rowFields[f]);
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
    connection_->ExecuteRows(command, into);
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
