#include "ui/SheetGridTable.h"

#include <wx/dcclient.h>

#include <algorithm>

#include "render/GridBase.h"
#include "render/GridView.h"
#include "render/GridViews.h"

namespace orvik::ui {
namespace {

wxColour ToColour(const Rgb& rgb) {
    return wxColour(rgb.Red, rgb.Green, rgb.Blue);
}

wxFont ToFont(const FontChoice& choice) {
    wxFontInfo info(std::max(6, std::abs(choice.PixelHeight) * 3 / 4));
    info.FaceName(wxString::FromUTF8(choice.Face.c_str()))
        .Bold(choice.Weight >= 700)
        .Italic(choice.Italic)
        .Underlined(choice.Underline)
        .Strikethrough(choice.StrikeOut);
    return wxFont(info);
}

}  // namespace

SheetGridTable::SheetGridTable(COvInfoSheet& sheet) : sheet_(sheet) {}

const CGridCtrl* SheetGridTable::Grid() const {
    const CGridView* view = FindGridView(sheet_);
    return view ? view->GetGridCtrl() : nullptr;
}

int SheetGridTable::GetNumberRows() {
    const CGridCtrl* grid = Grid();
    return grid ? grid->GetRowCount() : 0;
}

int SheetGridTable::GetNumberCols() {
    const CGridCtrl* grid = Grid();
    return grid ? grid->GetColumnCount() : 0;
}

wxString SheetGridTable::GetValue(int row, int col) {
    const CGridCtrl* grid = Grid();
    if (!grid) return {};
    const std::string_view text = grid->GetItemText(row, col);
    return wxString::FromUTF8(text.data(), text.size());
}

bool SheetGridTable::IsEmptyCell(int row, int col) {
    const CGridCtrl* grid = Grid();
    return !grid || grid->GetItemText(row, col).empty();
}

wxString SheetGridTable::GetColLabelValue(int col) {
    // Letters as a spreadsheet has them; the result's own headers are the frozen rows below.
    wxString label;
    for (int n = col + 1; n > 0; n = (n - 1) / 26) label.Prepend(wxChar('A' + (n - 1) % 26));
    return label;
}

wxGridCellAttr* SheetGridTable::GetAttr(int row, int col, wxGridCellAttr::wxAttrKind) {
    const CGridCtrl* grid = Grid();
    if (!grid) return nullptr;
    const bool header = row < grid->GetFixedRowCount() || col < grid->GetFixedColumnCount();
    wxGridCellAttr*& attr = header ? headerAttr_ : numberAttr_;
    if (!header && !grid->IsItemRightAligned(row, col)) return nullptr;
    if (!attr) {
        attr = new wxGridCellAttr;
        attr->SetReadOnly();
        if (header) {
            const GridDefaultCell& cell = grid->DefaultCell(GridCellKind::FixedRow);
            attr->SetBackgroundColour(ToColour(cell.BackColour));
            if (!cell.Font.Face.empty()) attr->SetFont(ToFont(cell.Font));
            attr->SetAlignment(wxALIGN_CENTRE, wxALIGN_CENTRE);
        } else {
            attr->SetAlignment(wxALIGN_RIGHT, wxALIGN_CENTRE);
        }
    }
    attr->IncRef();
    return attr;
}

void SheetGridTable::Resync(wxGrid& grid) {
    // The cached attributes carry the old header look; the grid may have been made anew.
    if (headerAttr_) headerAttr_->DecRef();
    if (numberAttr_) numberAttr_->DecRef();
    headerAttr_ = numberAttr_ = nullptr;
    const int rows = GetNumberRows(), cols = GetNumberCols();
    const int shownRows = grid.GetNumberRows(), shownCols = grid.GetNumberCols();
    grid.BeginBatch();
    if (rows < shownRows) {
        wxGridTableMessage message(this, wxGRIDTABLE_NOTIFY_ROWS_DELETED, rows, shownRows - rows);
        grid.ProcessTableMessage(message);
    } else if (rows > shownRows) {
        wxGridTableMessage message(this, wxGRIDTABLE_NOTIFY_ROWS_APPENDED, rows - shownRows);
        grid.ProcessTableMessage(message);
    }
    if (cols < shownCols) {
        wxGridTableMessage message(this, wxGRIDTABLE_NOTIFY_COLS_DELETED, cols, shownCols - cols);
        grid.ProcessTableMessage(message);
    } else if (cols > shownCols) {
        wxGridTableMessage message(this, wxGRIDTABLE_NOTIFY_COLS_APPENDED, cols - shownCols);
        grid.ProcessTableMessage(message);
    }
    if (const CGridCtrl* model = Grid()) {
        // The model's widths come from its own font estimate; the screen's fonts are wider or
        // narrower, so the first rows are measured as drawn (a long result is not read through:
        // its first screens decide, as they are what is seen).
        const bool measure = model->RefreshCount() != measuredRefresh_ || rows != measuredRows_;
        measuredRefresh_ = model->RefreshCount();
        measuredRows_ = rows;
        wxClientDC dc(grid.GetGridWindow());
        const int sample = std::min(rows, kMeasuredRows);
        for (int col = 0; col < cols; ++col) {
            const int width = model->GetColumnWidth(col);
            if (width == 0) {
                grid.HideCol(col);
                continue;
            }
            if (!measure) continue;
            int widest = 0;
            for (int row = 0; row < sample; ++row) {
                const wxString text = GetValue(row, col);
                if (text.empty()) continue;
                dc.SetFont(grid.GetCellFont(row, col));
                widest = std::max(widest, dc.GetTextExtent(text).x);
            }
            grid.SetColSize(col, std::max(widest + 14, width > 0 ? width : 40));
        }
        if (model->GetRowHeight() > 0) grid.SetDefaultRowSize(model->GetRowHeight(), true);
        const int frozenRows = std::min(model->GetFixedRowCount(), rows);
        const int frozenCols = std::min(model->GetFixedColumnCount(), cols);
        if (grid.GetNumberFrozenRows() != frozenRows || grid.GetNumberFrozenCols() != frozenCols) {
            grid.FreezeTo(0, 0);
            if (frozenRows < rows && frozenCols < cols) grid.FreezeTo(frozenRows, frozenCols);
        }
    }
    grid.EndBatch();
    grid.ForceRefresh();
}

wxGrid* MakeSheetGrid(wxWindow* parent, COvInfoSheet& sheet) {
    auto* grid = new wxGrid(parent, wxID_ANY);
    auto* table = new SheetGridTable(sheet);
    grid->AssignTable(table, wxGrid::wxGridSelectCells);
    grid->EnableEditing(false);
    grid->SetRowLabelSize(56);
    grid->SetDefaultCellOverflow(false);
    table->Resync(*grid);
    return grid;
}

void RefreshSheetGrid(wxGrid& grid) {
    if (auto* table = dynamic_cast<SheetGridTable*>(grid.GetTable())) table->Resync(grid);
}

}  // namespace orvik::ui
