// Filling a sheet's grid from an OLAP cell set. The column axis becomes the header rows (one per
// member of a column tuple) and the row axis the row-header columns (one per member of a row
// tuple); the cells, by ordinal, become the data rows. Repeats of the outermost member are left
// blank, on header row 0 and in row-header column 0, so that the page can span them.
#pragma once

#include <string_view>

class CADOMDCellSet;
class CGridBase;

namespace orvik {

// Fills `grid` from `cells`. `start` -2 is a full fill: columns, header rows (with the column
// definitions of header row 0), row-header columns and data rows. 1 or more appends the data rows
// after the grid's last row; any other value refills the data rows below the header rows. Rows
// past the last one filled are removed. Throws CADOException when a cell the axes call for is
// missing.
void FillGridFromCellSet(CGridBase& grid, const CADOMDCellSet& cells, int start);

// The text a cell shows for `formatted`: "-" for not-a-number and infinity as the number
// formatting spells them ("-1.#IND", "1.#INF", and their percentages), otherwise `formatted`.
std::string_view CellSetCellText(std::string_view formatted);

}  // namespace orvik
