// The grid views of the open report's sheets: made when a report is loaded or a sheet added
// (through the front end's CreateViewDS), found by the export and the formula functions, refilled
// when a data source has run again, and destroyed with their sheets.
//
// Each sheet owns its view (OwnedView) and its View field points at it, so a view goes with its
// sheet and a report's views go with the report.
#pragma once

class CGridView;
class COvInfoDS;
class COvInfoSheet;
class CReport;
namespace orvik {
class Run;
}

// Makes (or makes anew) the grid view of `sheet`: connects and runs the sheet's data source, fills
// the grid and sets the sheet's View. Returns null, and leaves the sheet without a grid view, when
// the sheet's output type belongs to a plug-in (the plug-in makes that view).
CGridView* CreateGridView(orvik::Run& run, COvInfoSheet& sheet);
// The same without running the source: the grid shows the source's current result (empty when it
// has none). For a run that has already run each source once.
CGridView* MakeGridView(orvik::Run& run, COvInfoSheet& sheet);
// The grid view of `sheet`, or null when it has none.
CGridView* FindGridView(const COvInfoSheet& sheet);
// Destroys the grid view of `sheet` (if any) and clears its View.
void DestroyGridView(COvInfoSheet& sheet);
// Destroys every grid view: those of `report`'s sheets first, clearing their View, then any left
// from sheets that are gone. To be called before a report's sheets are destroyed.
void DestroyGridViews(CReport& report);
// Sends the refresh request to the grid view of every sheet of the open report whose data source
// is `source`, so they show its new result.
void RefreshGridViews(orvik::Run& run, const COvInfoDS& source);
