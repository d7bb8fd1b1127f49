// A sheet's grid as wxGrid sees it: a virtual table that reads the cells straight out of the
// sheet's grid model, so a million-row result opens as fast as a small one and nothing is copied.
// Header rows and columns are drawn in the grid's fixed-cell colours and fonts.
#pragma once

#include <wx/grid.h>

class COvInfoSheet;
class CGridCtrl;

namespace orvik::ui {

class SheetGridTable : public wxGridTableBase {
  public:
    // A table over `sheet`'s grid view (found anew on each call: the view is remade on a re-run).
    explicit SheetGridTable(COvInfoSheet& sheet);

    int GetNumberRows() override;
    int GetNumberCols() override;
    wxString GetValue(int row, int col) override;
    void SetValue(int, int, const wxString&) override {}  // the designer shows results only
    bool IsEmptyCell(int row, int col) override;
    wxGridCellAttr* GetAttr(int row, int col, wxGridCellAttr::wxAttrKind kind) override;
    wxString GetColLabelValue(int col) override;

    // Tells `grid` that the rows and columns may have changed (after the sheet ran again): it
    // drops its cached sizes and redraws.
    void Resync(wxGrid& grid);

    COvInfoSheet& Sheet() const { return sheet_; }

  private:
    const CGridCtrl* Grid() const;

    // Columns are sized to the widest of this many leading rows.
    static constexpr int kMeasuredRows = 200;

    COvInfoSheet& sheet_;
    unsigned long measuredRefresh_ = ~0ul;  // the model's refresh count when last measured
    int measuredRows_ = -1;
    wxGridCellAttr* headerAttr_ = nullptr;
    wxGridCellAttr* numberAttr_ = nullptr;
};

// A wxGrid showing `sheet` through a SheetGridTable, sized and frozen on its header rows.
wxGrid* MakeSheetGrid(wxWindow* parent, COvInfoSheet& sheet);
// Re-reads the sheet's grid into `grid` (made by MakeSheetGrid).
void RefreshSheetGrid(wxGrid& grid);

}  // namespace orvik::ui
