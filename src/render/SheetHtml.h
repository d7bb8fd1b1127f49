// A sheet's part of the report page: the three style rules of its classes and the table that
// reproduces its grid, with merged header and row-header cells, bar charts, picture series and,
// for KPI sheets, folder rows and status pictures. Both are read from the grid's cells and default
// cells and from the sheet's and column definitions' properties only.
//
// Cell texts go onto the page as markup, without escaping: report authors put markup into their
// queries on purpose. What could run in a browser or mail client (script, event handlers, script
// URLs) is taken out of them, and of the title; the rest stays byte for byte. A million-row sheet
// is written in one pass with no per-cell allocation.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/CellNumber.h"

class CGridBase;

// The style rules ".sh<N>", ".sgo<N>" and ".sge<N>" of sheet `sheetNumber`, one line each, from
// the grid's default cells and the sheet's gradient switches (bGCH, bGCG).
std::string MakeSheetStyle(const CGridBase& grid, int sheetNumber);

// Appends the table "OrvikSheet<N>" of the grid to `out`; nothing for a grid without cells.
// `kpiFlag` 1 leaves the last column out, addresses pictures in the program's Images folder and
// gives the KPI columns their pictures; 0 applies the sheet's column definitions instead.
// With `flush`, the table is handed over in pieces as it is written: `flush` gets `out` after every
// few thousand rows and may take its text (a page written to its file as it is made).
using SheetTableFlush = std::function<void(std::string& out)>;
void MakeSheetTable(const CGridBase& grid, int sheetNumber, int kpiFlag, std::string& out,
                    const SheetTableFlush& flush = {});
