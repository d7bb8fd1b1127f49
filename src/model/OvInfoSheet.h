// A sheet: one page of the report, showing the result of one data source through an output type
// (the grid), with per-column display settings. The report object, which carries the report-level
// properties and every parameter's value, is a sheet too.
#pragma once

#include <memory>
#include <vector>

#include "model/OvInfoGCols.h"
#include "model/OvInfoObject.h"
#include "orvik/PlugInApi.h"

class COvInfoDS;
class CGridView;

// CSheetView, what a sheet shows its result in (the grid view, or a plug-in's), comes with the
// plug-in interface. The sheet owns it, so a view never outlives its sheet; a view must not touch
// its sheet while it is destroyed.

class COvInfoSheet : public COvInfoObject {
  public:
    COvInfoSheet(CRegistries* registries, int group);
    ~COvInfoSheet();

    // The first data source whose name equals this sheet's cDS, or null.
    COvInfoDS* GetDS(const std::vector<std::unique_ptr<COvInfoDS>>& dataSources) const;
    // Shows the properties, as the report object's when it is that.
    void ShowProp(orvik::FrontEnd& front);

    COvInfoProp Name, cDS, tpVW, bVis;
    std::vector<std::unique_ptr<COvInfoGCols>> GridColumns;
    std::unique_ptr<CSheetView> OwnedView;  // the view the sheet owns, if any
    CGridView* View = nullptr;              // the sheet's grid view once created (OwnedView)
    bool IsReportObject = false;            // set on the report's own object
};
