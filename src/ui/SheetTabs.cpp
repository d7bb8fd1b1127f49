#include "ui/SheetTabs.h"

#include <wx/aui/auibook.h>
#include <wx/dnd.h>
#include <wx/grid.h>

#include <algorithm>
#include <filesystem>

#include "core/AtomicFile.h"
#include "model/AppContext.h"
#include "model/Report.h"
#include "render/GridViews.h"
#include "sources/QueryBuilder.h"
#include "tasks/HtmlExport.h"
#include "tasks/SheetPart.h"
#include "ui/DesignerContext.h"
#include "ui/PageView.h"
#include "ui/SheetGridTable.h"

namespace orvik::ui {
namespace {

wxString Utf8(const std::string& text) {
    return wxString::FromUTF8(text.data(), text.size());
}

// Whether something other than the program's table draws `sheet`.
bool IsDrawn(AppContext& context, const COvInfoSheet& sheet) {
    return SheetRendererOf(context, sheet, sheet.GetDS(context.Report().DataSources)) != nullptr;
}

// Takes text dropped on one part of a grid as a drop on that part's axis.
class AxisDropTarget : public wxTextDropTarget {
  public:
    AxisDropTarget(char axis, std::function<bool(const std::string&, char)> drop)
        : axis_(axis), drop_(std::move(drop)) {}
    bool OnDropText(wxCoord, wxCoord, const wxString& text) override {
        return drop_ && drop_(text.utf8_string(), axis_);
    }

  private:
    char axis_;
    std::function<bool(const std::string&, char)> drop_;
};

}  // namespace

void SheetTabs::AcceptDrops(wxGrid& grid, COvInfoSheet& sheet) {
    const auto drop = [this, &sheet](const std::string& text, char axis) {
        return OnDrop && OnDrop(sheet, text, axis);
    };
    grid.GetGridColLabelWindow()->SetDropTarget(new AxisDropTarget(QueryAxis::Columns, drop));
    grid.GetGridRowLabelWindow()->SetDropTarget(new AxisDropTarget(QueryAxis::Rows, drop));
    grid.GetGridWindow()->SetDropTarget(new AxisDropTarget(QueryAxis::Data, drop));
    grid.GetGridCornerLabelWindow()->SetDropTarget(new AxisDropTarget(QueryAxis::Filter, drop));
}

wxWindow* SheetTabs::Tab::Window() const {
    return Drawing ? static_cast<wxWindow*>(Drawing) : static_cast<wxWindow*>(Grid);
}

SheetTabs::Tab SheetTabs::MakeTab(COvInfoSheet& sheet) {
    AppContext& context = *DesignerContext();
    Tab tab;
    tab.Sheet = &sheet;
    if (IsDrawn(context, sheet)) {
        tab.Drawing = new PageView(&notebook_);
        ShowDrawing(tab);
        return tab;
    }
    // The grid model is made (empty) now; the sheet's source fills it when it runs.
    if (!FindGridView(sheet) && !sheet.OwnedView) MakeGridView(context, sheet);
    tab.Grid = MakeSheetGrid(&notebook_, sheet);
    AcceptDrops(*tab.Grid, sheet);
    return tab;
}

void SheetTabs::ShowDrawing(const Tab& tab) {
    AppContext& context = *DesignerContext();
    const std::optional<std::string> page = SheetPartPage(context, *tab.Sheet);
    // Beside the report page, so that pictures it names by relative paths are found the same way.
    const auto& sheets = context.Report().Sheets;
    const auto position = std::find_if(sheets.begin(), sheets.end(),
                                       [&](const auto& each) { return each.get() == tab.Sheet; });
    const std::filesystem::path file =
        std::filesystem::path(PageFilePath(context)).parent_path() /
        ("OrvikSheet" + std::to_string(position - sheets.begin()) + ".htm");
    const std::string text = page.value_or("<!DOCTYPE html><html></html>");
    AtomicFile out(file.string());
    if (!out.Stream() || std::fwrite(text.data(), 1, text.size(), out.Stream()) != text.size() ||
        !out.Commit())
        return;  // the tab keeps what it showed; the page tab tells the same story
    tab.Drawing->ShowFile(file.string());
}

void SheetTabs::Create(COvInfoSheet& sheet) {
    if (sheet.IsReportObject || Find(sheet)) return;
    tabs_.push_back(MakeTab(sheet));
    notebook_.AddPage(tabs_.back().Window(), Utf8(sheet.Name.Value), false);
}

void SheetTabs::Sync(CReport& report) {
    // A tab whose sheet is gone would read freed memory on its next paint.
    std::vector<COvInfoSheet*> gone;
    for (const Tab& tab : tabs_) {
        const bool alive = std::any_of(
            report.Sheets.begin(), report.Sheets.end(),
            [&](const std::unique_ptr<COvInfoSheet>& s) { return s.get() == tab.Sheet; });
        if (!alive) gone.push_back(tab.Sheet);
    }
    for (COvInfoSheet* sheet : gone) Remove(*sheet);
    for (const auto& sheet : report.Sheets) Create(*sheet);
}

void SheetTabs::Refresh(COvInfoSheet& sheet) {
    const Tab* tab = Find(sheet);
    if (!tab) return;
    if (tab->Grid) RefreshSheetGrid(*tab->Grid);
    if (tab->Drawing) ShowDrawing(*tab);
}

void SheetTabs::RefreshAll() {
    for (const Tab& tab : tabs_) Refresh(*tab.Sheet);
}

void SheetTabs::Renamed(COvInfoSheet& sheet) {
    const int index = Index(sheet);
    if (index >= 0) notebook_.SetPageText(index, Utf8(sheet.Name.Value));
}

void SheetTabs::Replace(COvInfoSheet& sheet) {
    const int index = Index(sheet);
    if (index < 0) return;
    const bool wasCurrent = notebook_.GetSelection() == index;
    // The old view goes and a view for the new output type takes its place in the same tab
    // position, its window made anew.
    if (!IsDrawn(*DesignerContext(), sheet)) MakeGridView(*DesignerContext(), sheet);
    Tab fresh = MakeTab(sheet);
    for (Tab& tab : tabs_)
        if (tab.Sheet == &sheet) tab = fresh;
    notebook_.DeletePage(index);
    notebook_.InsertPage(index, fresh.Window(), Utf8(sheet.Name.Value), wasCurrent);
}

void SheetTabs::Remove(COvInfoSheet& sheet) {
    const int index = Index(sheet);
    std::erase_if(tabs_, [&](const Tab& tab) { return tab.Sheet == &sheet; });
    if (index >= 0) notebook_.DeletePage(index);
}

void SheetTabs::CloseAll() {
    for (const Tab& tab : tabs_) {
        const int index = notebook_.GetPageIndex(tab.Window());
        if (index != wxNOT_FOUND) notebook_.DeletePage(index);
    }
    tabs_.clear();
}

const SheetTabs::Tab* SheetTabs::Find(const COvInfoSheet& sheet) const {
    for (const Tab& tab : tabs_)
        if (tab.Sheet == &sheet) return &tab;
    return nullptr;
}

wxGrid* SheetTabs::Grid(const COvInfoSheet& sheet) const {
    const Tab* tab = Find(sheet);
    return tab ? tab->Grid : nullptr;
}

PageView* SheetTabs::Drawing(const COvInfoSheet& sheet) const {
    const Tab* tab = Find(sheet);
    return tab ? tab->Drawing : nullptr;
}

int SheetTabs::Index(const COvInfoSheet& sheet) const {
    const Tab* tab = Find(sheet);
    if (!tab) return -1;
    const int index = notebook_.GetPageIndex(tab->Window());
    return index == wxNOT_FOUND ? -1 : index;
}

}  // namespace orvik::ui
