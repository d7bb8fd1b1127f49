// The grid of one sheet: fills the headless grid from the sheet's data source and applies the
// sheet's display properties and column definitions to it. What the fill leaves in the cells is
// all the page writer and the formula functions ever see of the result, so every text is final
// here (formatted, cleaned, aligned).
//
// Column definitions carry a user's renames and column types across runs. The fill matches them
// to grid columns by the key "0_<column>", creates one for every column that has none, and before
// each full fill drops those that say nothing beyond their defaults.
//
// The OLAP cell-set fill lives in CellSetFill, the KPI fill in KpiFill; a front end may put a fill
// of its own in place of the KPI fill through SetKpiFiller.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "data/Variant.h"
#include "render/GridCtrl.h"

namespace orvik {
class Run;
}
class CADOMDCellSet;
namespace orvik {
class ResultTable;
}
class CADORecordset;
class COvInfoDS;
class COvInfoGCols;
class COvInfoProp;
class COvInfoSheet;

class CGridBase : public CGridCtrl {
  public:
    // Fills the grid from a KPI data source and applies the sheet's properties itself.
    using KpiFiller = std::function<void(CGridBase& grid)>;

    // An empty grid showing nothing (all fields zero).
    CGridBase() = default;

    // Installs a KPI fill for every grid in place of FillKpiGrid (an empty function restores it).
    static void SetKpiFiller(KpiFiller filler);

    // Rebuilds the whole grid from the sheet's data source: finds the source by the sheet's cDS,
    // prunes the sheet's column definitions, fills columns, header and rows, applies the sheet's
    // properties (mode 0) and auto-sizes. An unknown source type shows "Unknown DSN type = ".
    // Throws CADOException when the result cannot be read.
    virtual void Fill();
    // Re-runs the kept record set and refills the data rows, keeping header and columns. Throws
    // CADOException.
    void RefreshRows();

    // Fills from RecordSet: `start` -1 is a full fill (columns, header, rows); 0 or below refills
    // the data rows from row 1; 1 or more appends the records after the last row. Throws
    // CADOException.
    void FillRecordSet(int start);
    // Fills from a result table, with `start` as FillRecordSet. Throws CADOException.
    void FillTable(const orvik::ResultTable& result, int start);
    // Fills from CellSet: `start` -2 is a full fill with header rows and row-header columns,
    // otherwise as FillRecordSet. Nothing without an open cell set. Throws CADOException.
    void FillCellSet(int start);

    // Applies one sheet or column-definition property (hBC, gBC, hF, gF, ColN) to the grid;
    // other keys change nothing.
    void ApplyProperty(const COvInfoProp& prop);
    // Applies every property of the sheet in the sheet's order.
    void ApplySheetProperties();

    // The title of grid column `column` on header row 0: the rename of the definition keyed
    // "0_<column>", or `title` when there is none (a definition is then created for it). Shared
    // with the cell-set fill.
    std::string ColumnTitle(int column, const std::string& title);
    // The sheet's column definitions whose cell key is "<row>_<column>", in the sheet's order.
    std::vector<COvInfoGCols*> FindColumnDefinitions(int row, int column) const;
    // A click on a fixed cell: in mode 0 shows the properties of the definitions found there.
    void OnFixedCellClick(int row, int column);

    // A field name as a column title: ".[MEMBER_CAPTION]" and "[Measures]." taken out.
    static std::string CleanFieldTitle(std::string name);
    // True for the value types drawn right-aligned: every number type.
    static bool IsNumericType(VariantType type);

    int Mode = 0;  // 0 report grid, 1 cell picking, 2 column picking
    int Reserved1 = 0;
    int Reserved2 = 0;
    void* NotifyWindow = nullptr;  // told of left-button releases (cell pickers)
    int CellSetFlag = 0;           // 1 when the grid was filled from an OLAP cell set
    COvInfoSheet* Sheet = nullptr;
    // The run whose report the sheet belongs to; null for a grid filled by hand (it then reads
    // no data source and substitutes nothing).
    orvik::Run* ForRun = nullptr;
    COvInfoDS* DataSource = nullptr;     // found by name at each fill; not owned
    CADORecordset* RecordSet = nullptr;  // the source's result; not owned
    CADOMDCellSet* CellSet = nullptr;    // the source's cell set; not owned

  private:
    // Removes the definitions that neither rename a column nor give it a type.
    void PruneColumnDefinitions();
};
