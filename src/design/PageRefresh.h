// The report page as the designer keeps it current: after an edit the page file is written again
// and the front end shows it, without taking the property bar away from what the user is
// editing (which is what HTMLRefresh does, showing the report's own properties).
#pragma once

namespace orvik {
class Run;
}

class CReport;
class COvInfoDS;

namespace orvik::design {

// Builds the page from what the grids hold now (UpdateHTML) and has the front end show the page
// file. Never throws: a failure is reported through UxError.
void RefreshPage(orvik::Run& run);

// Runs every data source's query again on the connection it holds, refills the grids of the
// sheets using each one that ran (telling the front end), then RefreshPage. For edits that
// change what every query may return, such as a parameter's value.
void RebuildPage(orvik::Run& run);

// Refills the grid of every sheet that shows `source` and tells the front end each was
// refreshed. For after the source has run again.
void RefreshSheetsOf(orvik::Run& run, const COvInfoDS& source);

}  // namespace orvik::design
