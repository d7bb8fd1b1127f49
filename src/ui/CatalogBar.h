// The OLAP catalog bar: the cube of the selected OLAP data source as a tree (cube, "Measures" and
// its measures, dimensions with their hierarchies and levels), the elements on an axis shown in
// bold with their axis; the context menu puts an element on the data, row, column or filter axis
// or takes it off (checked where it is), and picks the members of one on an axis. Every change
// runs the source again and is told to the window, which rebuilds the page.
#pragma once

#include <wx/panel.h>
#include <wx/treebase.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

class COvInfoDS;
class wxTreeCtrl;
class wxTreeEvent;

namespace orvik {
class CatalogTree;
}

namespace orvik::ui {

class CatalogBar : public wxPanel {
  public:
    explicit CatalogBar(wxWindow* parent);

    // Shows the catalog of `source` when it is an OLAP source that has read one; empty otherwise.
    void ShowSource(COvInfoDS* source);
    void Clear() { ShowSource(nullptr); }
    // Told after each change the bar made, with what it was.
    std::function<void(const std::string& what)> OnChanged;

    // What the context menu does, callable without the menu: the node `id` put on `axis` (or
    // taken off it). False when the node does not offer that axis.
    bool ChooseAxis(int id, char axis);
    // A node dragged from the bar onto a sheet's grid: `text` is what the drag carried,
    // `sheetSource` the data source of the sheet it was dropped on. False when the drop means
    // nothing here (the sheet shows another source, or the node does not take that axis).
    bool Drop(const std::string& text, const COvInfoDS* sheetSource, char axis);
    // What a drag of node `id` carries.
    static std::string DragText(int id);

    // Restricts node `id` (on an axis) to `members` (unique names).
    bool ChooseMembers(int id, const std::vector<std::string>& members);
    wxTreeCtrl& Tree() { return *tree_; }
    // The tree item of node `id` (not ok when none).
    wxTreeItemId ItemOf(int id) const;
    COvInfoDS* Source() const { return source_; }

  private:
    void Fill();
    void OnMenu(wxTreeEvent& event);
    void OnBeginDrag(wxTreeEvent& event);
    int NodeOf(const wxTreeItemId& item) const;
    void PickMembers(int id);
    CatalogTree* Tree(COvInfoDS* source) const;

    wxTreeCtrl* tree_ = nullptr;
    COvInfoDS* source_ = nullptr;
    std::map<int, wxTreeItemId> items_;
};

}  // namespace orvik::ui
