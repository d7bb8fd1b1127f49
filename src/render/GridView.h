// The view of a sheet whose output type is the grid: it owns the sheet's grid, refills it when
// the sheet's data source has run again, and turns it into the sheet's part of the report page
// (style rules and table). The formula functions and plug-ins read the grid through GV_getRowCount
// and GV_getRowCol.
//
// Views are made and found through GridViews.h; the sheet's View field points at its view.
#pragma once

#include "model/DataSourceKind.h"

#include <functional>
#include <memory>
#include <string>

#include "model/OvInfoSheet.h"
#include "orvik/PlugInApi.h"

class CGridBase;
namespace orvik {
class Run;
}

class CGridView : public CSheetView {
  public:
    // The window message by which a data source asks the views of its sheets to reload.
    static constexpr unsigned kRefreshMessage = 0x40A;

    // A view of `sheet`, a sheet of `run`'s report, with an empty grid in report mode (mode 0).
    CGridView(orvik::Run& run, COvInfoSheet& sheet);
    ~CGridView() override;
    CGridView(const CGridView&) = delete;
    CGridView& operator=(const CGridView&) = delete;

    // The sheet the view shows.
    COvInfoSheet& GetSheet() const { return *sheet_; }
    // The grid window; null only for a view whose grid could not be made.
    CGridBase* GetGridCtrl() const { return grid_.get(); }

    // The refresh request (kRefreshMessage): refills the grid from the data source's current
    // result. Whoever re-ran the source sends it; the view does not run the query itself, or each
    // rebuild would run every query twice. Read errors are reported through UxError.
    void OnRefreshRequest();
    // Connects the sheet's data source, runs its query and refills the grid. Returns what
    // OpenConnectDS returned (0 when the sheet has no data source).
    int Rerun();

    // The sheet's style rules for sheet number `sheetNumber`; empty without a grid.
    std::string GetStyle(int sheetNumber) const;
    // Appends the sheet's table to `out` (`kpiFlag` 1 for a KPI source, 0 for SQL and OLAP),
    // numbered after the sheet's place in the open report. Without a grid shows "CGridView::
    // MakeHTML: m_pGridCtrl is NULL!" and appends nothing.
    void MakeHTML(std::string& out, int kpiFlag) const;
    // The same with the sheet number given.
    void MakeHTML(std::string& out, int kpiFlag, int sheetNumber) const;
    // The same, handing the table to `flush` in pieces as it is written (see MakeSheetTable).
    void MakeHTML(std::string& out, int kpiFlag, int sheetNumber,
                  const std::function<void(std::string&)>& flush) const;
    // Appends the sheet's table as a page of `style` shows its source (nothing for
    // PageStyle::None), numbered `sheetNumber`; `flush` as for MakeHTML.
    void AppendPagePart(std::string& out, orvik::PageStyle style, int sheetNumber,
                        const std::function<void(std::string&)>& flush = {}) const;
    // The sheet's 0-based place in the open report's sheets; 0 when it is not there.
    int SheetNumber() const;

  private:
    orvik::Run& run_;
    COvInfoSheet* sheet_;
    std::unique_ptr<CGridBase> grid_;
};

// True when `view` exists and has its grid.
bool IsGridView(const CGridView* view);
// GV_getRowCount, GV_getRowCol (the cell text cleaned for a formula: the abbreviation "Прод." or
// "Прод" in front of a number removed, trimmed, every space and non-breaking space taken out) and
// the other grid
// readers plug-ins use are declared with the plug-in interface.
