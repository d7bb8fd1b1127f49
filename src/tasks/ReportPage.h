// The report page as the designer shows it: rebuilt from the report after every change that
// affects it, written to "Orvik.htm" in the HTML work folder, and shown from there.
#pragma once

#include <string>

class CReport;
namespace orvik {
class Run;
}
class COvInfoSheet;

// Builds the open report's page through a temporary "HTML" export task; returns what the export
// returned.
int UpdateHTML(orvik::Run& run);

// Shows the page tab and the report's properties, rebuilds the page and shows the new file.
void HTMLRefresh(orvik::Run& run);

// Appends `sheet`'s table to `out` (nothing for a sheet without view or data source).
void DoExportDS(const CReport& report, const COvInfoSheet& sheet, std::string& out);
