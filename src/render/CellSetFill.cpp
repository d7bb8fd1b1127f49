// The cell-set fill of a sheet's grid. Providers are not trusted to hand back well-formed axes:
// a tuple shorter than the first one on its axis reads as empty captions, and a grid refilled from
// a cell set of another shape writes only what fits the columns it already has. The member
// properties a query asks of the row axis (DIMENSION PROPERTIES) stand in columns of their own
// right after the caption of their hierarchy's member.
#include "render/CellSetFill.h"

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "data/AdoCellSet.h"
#include "render/GridBase.h"

namespace orvik {
namespace {

// The caption of member `member` of `position`, or an empty text when the tuple is that short.
const std::string& Caption(const CellSetPosition& position, int member) {
    static const std::string none;
    if (member < 0 || static_cast<size_t>(member) >= position.Members.size()) return none;
    return position.Members[static_cast<size_t>(member)].Caption;
}

int Count(size_t size) {
    return static_cast<int>(std::min<size_t>(size, INT_MAX / 2));
}

// Header row 0 and row-header column 0 leave a caption out when it repeats its neighbour's, so
// that one year heads all its quarters.
bool RepeatsPrevious(const std::string& caption, const std::string* previous) {
    return previous && !caption.empty() && caption == *previous;
}

// One row-header column: the caption of a member of the row tuples, or one of its properties.
struct RowHeaderColumn {
    int Member = 0;
    const CellSetPropertyInfo* Property = nullptr;  // null: the caption
};

// The row-header columns, as the first row tuple and the properties its hierarchies were asked
// for make them; a provider that does not describe the hierarchies gets captions only.
std::vector<RowHeaderColumn> RowHeaderColumns(const CellSetAxis* rows) {
    std::vector<RowHeaderColumn> columns;
    if (!rows || rows->Positions.empty()) return columns;
    const size_t members = rows->Positions.front().Members.size();
    const bool described = rows->Hierarchies.size() == members;
    for (size_t m = 0; m < members; ++m) {
        columns.push_back({Count(m), nullptr});
        if (!described) continue;
        for (const CellSetPropertyInfo& property : rows->Hierarchies[m].Properties)
            if (!property.Intrinsic) columns.push_back({Count(m), &property});
    }
    return columns;
}

// The value of `column`'s property on `position`'s member; empty where the member lacks it.
Variant PropertyValue(const CellSetPosition& position, const RowHeaderColumn& column) {
    if (static_cast<size_t>(column.Member) >= position.Members.size()) return {};
    for (const CellSetProperty& property :
         position.Members[static_cast<size_t>(column.Member)].Properties)
        if (property.Name == column.Property->Name) return property.Value;
    return {};
}

// The property names over their columns, on the header row nearest the data.
void FillRowHeaderTitles(CGridBase& grid, const std::vector<RowHeaderColumn>& columns,
                         int headerRows) {
    if (headerRows == 0) return;
    for (size_t k = 0; k < columns.size(); ++k)
        if (columns[k].Property)
            grid.SetItemText(headerRows - 1, Count(k), columns[k].Property->Name);
}

void FillRowHeaders(CGridBase& grid, const CellSetAxis& rows, int p, int row,
                    const std::vector<RowHeaderColumn>& columns, int rowHeaders) {
    const CellSetPosition& position = rows.Positions[static_cast<size_t>(p)];
    for (int k = 0; k < rowHeaders && static_cast<size_t>(k) < columns.size(); ++k) {
        const RowHeaderColumn& column = columns[static_cast<size_t>(k)];
        if (column.Property) {
            const Variant value = PropertyValue(position, column);
            grid.SetItemText(
                row, k, value.IsNull() || value.IsEmpty() ? std::string() : VariantToText(value));
            grid.SetItemRightAligned(row, k, CGridBase::IsNumericType(value.Type()));
            continue;
        }
        const std::string& caption = Caption(position, column.Member);
        const std::string* previous =
            k == 0 && p > 0 ? &Caption(rows.Positions[static_cast<size_t>(p) - 1], 0) : nullptr;
        grid.SetItemText(row, k, RepeatsPrevious(caption, previous) ? "" : caption);
    }
}

void FillHeader(CGridBase& grid, const CellSetAxis& columns, int headerRows, int rowHeaders) {
    const int dataColumns = Count(columns.Positions.size());
    for (int r = 0; r < headerRows; ++r) {
        const std::string* previous = nullptr;
        for (int c = 0; c < dataColumns; ++c) {
            const std::string& caption = Caption(columns.Positions[static_cast<size_t>(c)], r);
            const int gridColumn = c + rowHeaders;
            if (r == 0) {
                const std::string shown = RepeatsPrevious(caption, previous) ? "" : caption;
                grid.SetItemText(0, gridColumn, grid.ColumnTitle(gridColumn, shown));
                previous = &caption;
            } else {
                grid.SetItemText(r, gridColumn, caption);
            }
        }
    }
}

}  // namespace

std::string_view CellSetCellText(std::string_view formatted) {
    if (formatted == "-1.#IND" || formatted == "1.#INF" || formatted == "-1#I,ND%" ||
        formatted == "1#I,NF%")
        return "-";
    return formatted;
}

void FillGridFromCellSet(CGridBase& grid, const CADOMDCellSet& cells, int start) {
    if (!cells.IsOpen()) return;
    const int axes = cells.AxisCount();
    // A query without axes has a single cell, shown as one column of one row.
    const CellSetAxis noAxis;
    const CellSetAxis& columns = axes >= 1 ? cells.Axis(0) : noAxis;
    const CellSetAxis* rows = axes >= 2 ? &cells.Axis(1) : nullptr;
    const int dataColumns = axes >= 1 ? Count(columns.Positions.size()) : 1;
    const int dataRows = rows ? Count(rows->Positions.size()) : 1;

    const std::vector<RowHeaderColumn> headerColumns = RowHeaderColumns(rows);
    if (start == -2) {
        const int rowHeaders = Count(headerColumns.size());
        const int headerRows =
            columns.Positions.empty() ? 0 : Count(columns.Positions.front().Members.size());
        grid.SetColumnCount(dataColumns + rowHeaders);
        grid.SetFixedRowCount(headerRows);
        grid.SetFixedColumnCount(rowHeaders);
        FillHeader(grid, columns, headerRows, rowHeaders);
        FillRowHeaderTitles(grid, headerColumns, headerRows);
    }

    const int rowHeaders = grid.GetFixedColumnCount();
    const int writtenColumns = std::clamp(grid.GetColumnCount() - rowHeaders, 0, dataColumns);
    // The data rows begin under the header rows, however many the column tuples made.
    const int firstRow = start >= 1 ? grid.GetRowCount() : grid.GetFixedRowCount();
    // Dropped and made again, so that a refill from a narrower cell set leaves no old text behind.
    grid.SetRowCount(firstRow);
    grid.ReserveRows(firstRow + dataRows);
    grid.SetRowCount(firstRow + dataRows);

    for (int p = 0; p < dataRows; ++p) {
        const int row = firstRow + p;
        if (rows) FillRowHeaders(grid, *rows, p, row, headerColumns, rowHeaders);
        const long first = static_cast<long>(p) * dataColumns;
        for (int c = 0; c < writtenColumns; ++c) {
            const CellSetCell& cell = cells.Cell(first + c);
            const int column = c + rowHeaders;
            // A provider that formats nothing still has a value to show.
            if (cell.FormattedValue.empty() && cell.Value.Type() != VariantType::Empty &&
                cell.Value.Type() != VariantType::Null)
                grid.SetItemText(row, column, VariantToText(cell.Value));
            else
                grid.SetItemText(row, column, CellSetCellText(cell.FormattedValue));
            grid.SetItemRightAligned(row, column, CGridBase::IsNumericType(cell.Value.Type()));
        }
    }
    grid.Refresh();
    grid.AutoSize();
}

}  // namespace orvik
