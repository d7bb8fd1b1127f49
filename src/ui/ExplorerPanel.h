// The report explorer: a tree of the report's parameters, data sources, sheets and tasks under six
// roots. Selecting an item shows its properties; the context menu and the keys Ins, Ctrl+Ins and
// Del add and delete objects; activating a task runs it. The tree shows the design layer's model
// and calls its commands.
#pragma once

#include <wx/treectrl.h>

#include <functional>

#include "design/ExplorerModel.h"

class COvInfoObject;

namespace orvik::ui {

class ExplorerPanel : public wxTreeCtrl {
  public:
    explicit ExplorerPanel(wxWindow* parent);

    // Rebuilds the whole tree from the open report, keeping the selected object selected.
    void Rebuild();
    // Rebuilds the tree for a report that replaced the one shown: nothing of the old one's
    // selection is kept (a new object may even sit at a deleted one's address).
    void RebuildForAnotherReport();
    // The tree item of `object` (invalid when it has none).
    wxTreeItemId ItemOf(const COvInfoObject* object) const;
    // The root item of `root`.
    wxTreeItemId RootItem(design::ExplorerRoot root) const;

    // The object of the selected item (null for a root, the page or the settings).
    COvInfoObject* SelectedObject() const;
    // Selects `object`'s item after a rebuild.
    void SelectObject(const COvInfoObject* object);

    // The explorer commands on the selected item, as the menu and the keys run them.
    void NewItem();
    void NewChildItem();
    void DeleteItem();
    void RunTask();

    // Called when the page root is selected (the main window shows the page tab).
    std::function<void()> OnPageSelected;
    // Told after an object was added or removed, with what the command was.
    std::function<void(const std::string& what)> OnEdited;

  private:
    struct Node;
    const Node* NodeOf(const wxTreeItemId& item) const;
    void Fill(const wxTreeItemId& parent, const design::ExplorerNode& node);
    // The item under `parent` whose object is `object` (compared by address only).
    wxTreeItemId FindItem(const wxTreeItemId& parent, const COvInfoObject* object) const;
    void OnSelectionChanged(wxTreeEvent& event);
    void OnActivated(wxTreeEvent& event);
    void OnContextMenu(wxTreeEvent& event);
    void OnKeyDown(wxTreeEvent& event);

    wxTreeItemId roots_[6];
    bool rebuilding_ = false;
};

}  // namespace orvik::ui
