// The grid views of the open report's sheets: made when a report is loaded or a sheet added
// (through the front end's CreateViewDS), found by the export and the formula functions, refilled
// when a data source has run again, and destroyed with their sheets.
//
// The views are owned here, one per sheet, and each sheet's View field points at its own. A view
// never touches its sheet when it is destroyed, so a view that outlives its sheet is harmless; it
// is swept away when the next view is made. A sheet must therefore be in the report's sheet list
// before its view is made.
#pragma once

class CGridView;
class COvInfoDS;
class COvInfoSheet;
class CReport;

// Makes (or makes anew) the grid view of `sheet`: connects and runs the sheet's data source, fills
// the grid and sets the sheet's View. Returns null, and leaves the sheet without a grid view, when
// the sheet's output type belongs to a plug-in (the plug-in makes that view).
CGridView* CreateGridView(COvInfoSheet& sheet);
// The grid view of `sheet`, or null when it has none.
CGridView* FindGridView(const COvInfoSheet& sheet);
// Destroys the grid view of `sheet` (if any) and clears its View.
void DestroyGridView(COvInfoSheet& sheet);
// Destroys every grid view: those of `report`'s sheets first, clearing their View, then any left
// from sheets that are gone. To be called before a report's sheets are destroyed.
void DestroyGridViews(CReport& report);
// Sends the refresh request to the grid view of every sheet of the open report whose data source
// is `source`, so they show its new result.
void RefreshGridViews(const COvInfoDS& source);
