// A sheet's grid view: refills, page parts and the grid read-out for formulas.
#include "render/GridView.h"

#include <algorithm>

#include "core/CellNumber.h"
#include "core/Log.h"
#include "core/Run.h"
#include "data/AdoException.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoSheet.h"
#include "model/Report.h"
#include "render/GridBase.h"
#include "render/SheetHtml.h"

namespace {

// The name read errors of a grid are reported under in the log.
constexpr const char* kSource = "gridview";

}  // namespace

CGridView::CGridView(orvik::Run& run, COvInfoSheet& sheet)
    : run_(run), sheet_(&sheet), grid_(std::make_unique<CGridBase>()) {
    grid_->Sheet = &sheet;
    grid_->ForRun = &run;
}

CGridView::~CGridView() = default;

void CGridView::OnRefreshRequest() {
    if (!grid_) return;
    try {
        grid_->Fill();
    } catch (const CADOException& error) {
        UxError(run_, error, kSource, __LINE__);
    }
}

int CGridView::Rerun() {
    COvInfoDS* source = sheet_->GetDS(run_.Report().DataSources);
    const int opened = source ? source->OpenConnectDS(run_, true) : 0;
    OnRefreshRequest();
    return opened;
}

std::string CGridView::GetStyle(int sheetNumber) const {
    return grid_ ? MakeSheetStyle(*grid_, sheetNumber) : std::string();
}

void CGridView::MakeHTML(std::string& out, int kpiFlag) const {
    MakeHTML(out, kpiFlag, SheetNumber());
}

void CGridView::MakeHTML(std::string& out, int kpiFlag, int sheetNumber) const {
    MakeHTML(out, kpiFlag, sheetNumber, {});
}

void CGridView::MakeHTML(std::string& out, int kpiFlag, int sheetNumber,
                         const std::function<void(std::string&)>& flush) const {
    if (!grid_) {
        orvik::ShowMessage(run_, "CGridView::MakeHTML: m_pGridCtrl is NULL!");
        return;
    }
    MakeSheetTable(*grid_, sheetNumber, kpiFlag, out, flush);
}

void CGridView::AppendPagePart(std::string& out, orvik::PageStyle style, int sheetNumber,
                               const std::function<void(std::string&)>& flush) const {
    if (style == orvik::PageStyle::None) return;
    MakeHTML(out, style == orvik::PageStyle::KpiList ? 1 : 0, sheetNumber, flush);
}

int CGridView::SheetNumber() const {
    const auto& sheets = run_.Report().Sheets;
    const auto found = std::find_if(
        sheets.begin(), sheets.end(),
        [this](const std::unique_ptr<COvInfoSheet>& sheet) { return sheet.get() == sheet_; });
    return found == sheets.end() ? 0 : static_cast<int>(found - sheets.begin());
}

bool IsGridView(const CGridView* view) {
    return view && view->GetGridCtrl();
}

int GV_getRowCount(CGridView* view) {
    return IsGridView(view) ? view->GetGridCtrl()->GetRowCount() : -1;
}

int GV_getColCount(CGridView* view) {
    return IsGridView(view) ? view->GetGridCtrl()->GetColumnCount() : -1;
}

int GV_getFixedRowCount(CGridView* view) {
    return IsGridView(view) ? view->GetGridCtrl()->GetFixedRowCount() : -1;
}

int GV_getFixedColCount(CGridView* view) {
    return IsGridView(view) ? view->GetGridCtrl()->GetFixedColumnCount() : -1;
}

std::string GV_getCellText(CGridView* view, int row, int col) {
    if (!IsGridView(view) || !view->GetGridCtrl()->IsValid(row, col)) return {};
    return std::string(view->GetGridCtrl()->GetItemText(row, col));
}

bool GV_isRightAligned(CGridView* view, int row, int col) {
    return IsGridView(view) && view->GetGridCtrl()->IsValid(row, col) &&
           view->GetGridCtrl()->IsItemRightAligned(row, col);
}

int GV_getColWidth(CGridView* view, int col) {
    return IsGridView(view) ? std::max(0, view->GetGridCtrl()->GetColumnWidth(col)) : 0;
}

std::string GV_getRowCol(CGridView* view, int row, int col) {
    if (!IsGridView(view)) return {};
    std::string text =
        WithoutSalesAbbreviation(std::string(view->GetGridCtrl()->GetItemText(row, col)));
    const size_t first = text.find_first_not_of(" \t\r\n\v\f");
    if (first == std::string::npos) return {};
    text.erase(text.find_last_not_of(" \t\r\n\v\f") + 1);
    text.erase(0, first);
    // Grouping blanks must go or "1 234" would read as 1. The non-breaking space is two bytes in
    // UTF-8; a lone 0xA0 byte is part of a Cyrillic letter and stays.
    std::string number;
    number.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ') continue;
        if (text[i] == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
            ++i;
            continue;
        }
        number += text[i];
    }
    return number;
}
