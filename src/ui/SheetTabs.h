// The sheets' tabs of the main window's notebook, one per sheet of the report: a grid over the
// sheet's result, or, for a sheet that a plug-in's view or a source kind draws itself (a chart),
// that drawing as the page shows it.
#pragma once

#include <functional>
#include <string>
#include <vector>

class COvInfoSheet;
class CReport;
class wxAuiNotebook;
class wxGrid;
class wxWindow;

namespace orvik::ui {

class PageView;

class SheetTabs {
  public:
    explicit SheetTabs(wxAuiNotebook& notebook) : notebook_(notebook) {}

    // What a drop of `text` on a grid means: the sheet, the text and the axis of the part of the
    // grid it fell on (column headers: columns, row headers: rows, cells: data). True when taken.
    std::function<bool(COvInfoSheet& sheet, const std::string& text, char axis)> OnDrop;

    // Adds `sheet`'s tab unless it has one (the report object has none).
    void Create(COvInfoSheet& sheet);
    // Makes every sheet of `report` have its tab and no tab outlive its sheet.
    void Sync(CReport& report);
    // Shows the sheet's result again (the grid resynced, the drawing made again).
    void Refresh(COvInfoSheet& sheet);
    void RefreshAll();
    void Renamed(COvInfoSheet& sheet);
    // The sheet's output type changed: a view of the new type takes the tab's place.
    void Replace(COvInfoSheet& sheet);
    void Remove(COvInfoSheet& sheet);
    // Removes every sheet tab (before the report's sheets are destroyed).
    void CloseAll();

    // The grid of `sheet`'s tab (null when it has none or shows a drawing).
    wxGrid* Grid(const COvInfoSheet& sheet) const;
    // The drawing of `sheet`'s tab (null when it has none or shows a grid).
    PageView* Drawing(const COvInfoSheet& sheet) const;
    // The tab index of `sheet` (-1 when it has none).
    int Index(const COvInfoSheet& sheet) const;

  private:
    struct Tab {
        COvInfoSheet* Sheet = nullptr;
        wxGrid* Grid = nullptr;
        PageView* Drawing = nullptr;
        wxWindow* Window() const;
    };

    Tab MakeTab(COvInfoSheet& sheet);
    // Column headers, row headers, cells and the corner take a catalog element for their axis
    // (the corner: the filter).
    void AcceptDrops(wxGrid& grid, COvInfoSheet& sheet);
    void ShowDrawing(const Tab& tab);
    const Tab* Find(const COvInfoSheet& sheet) const;

    wxAuiNotebook& notebook_;
    std::vector<Tab> tabs_;
};

}  // namespace orvik::ui
