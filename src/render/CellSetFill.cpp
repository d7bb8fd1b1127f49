// The cell-set fill of a sheet's grid. Providers are not trusted to hand back well-formed axes:
// a tuple shorter than the first one on its axis reads as empty captions, and a grid refilled from
// a cell set of another shape writes only what fits the columns it already has.
#include "render/CellSetFill.h"

#include <algorithm>
#include <climits>
#include <string>

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

    if (start == -2) {
        const int rowHeaders =
            rows && !rows->Positions.empty() ? Count(rows->Positions.front().Members.size()) : 0;
        const int headerRows =
            columns.Positions.empty() ? 0 : Count(columns.Positions.front().Members.size());
        grid.SetColumnCount(dataColumns + rowHeaders);
        grid.SetFixedRowCount(headerRows);
        grid.SetFixedColumnCount(rowHeaders);
        FillHeader(grid, columns, headerRows, rowHeaders);
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
        if (rows) {
            const CellSetPosition& position = rows->Positions[static_cast<size_t>(p)];
            for (int k = 0; k < rowHeaders; ++k) {
                const std::string& caption = Caption(position, k);
                const std::string* previous =
                    k == 0 && p > 0 ? &Caption(rows->Positions[static_cast<size_t>(p) - 1], 0)
                                    : nullptr;
                grid.SetItemText(row, k, RepeatsPrevious(caption, previous) ? "" : caption);
            }
        }
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
