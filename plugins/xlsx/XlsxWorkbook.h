// Writing a report's grid sheets into one Excel workbook. The workbook is written in
// libxlsxwriter's constant-memory mode: rows go out in order, one at a time, so a sheet of a
// million rows costs the workbook no more memory than one of ten. Merges that run down the rows
// (an OLAP sheet's repeated row headers) are therefore declared when their last row is written.
#pragma once

#include <string>
#include <vector>

#include "orvik/PlugInApi.h"

namespace xlsx {

// One sheet to write: its grid and how the report styles it.
struct SheetSource {
    std::string Name;   // the report's sheet name (made safe and unique when written)
    std::string Title;  // substituted; "" writes no title row
    CGridView* Grid = nullptr;
    std::string HeaderFont;       // "face,size,style,charset," (hF)
    std::string HeaderColour;     // "r,g,b" (hBC)
    std::string DataFont;         // gF
    std::string DataColour;       // gBC
    bool DropLastColumn = false;  // a KPI list's last column is the page's, not the reader's
};

// What a written workbook holds.
struct WorkbookSummary {
    int Sheets = 0;
    long long Rows = 0;  // grid rows written (header and data rows; title rows not counted)
    std::vector<std::string> Warnings;  // sheets cut at the workbook's size limits
};

// Writes `sheets` into a new workbook at `path` (the file is created or replaced there; the
// caller renames it into place). libxlsxwriter's temporary files go to `scratchFolder`. Returns
// "" on success, otherwise what went wrong.
std::string WriteWorkbook(const std::string& path, const std::string& scratchFolder,
                          const std::vector<SheetSource>& sheets, WorkbookSummary& summary);

}  // namespace xlsx
