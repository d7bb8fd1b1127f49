#include "ui/ExplorerPanel.h"

#include <wx/menu.h>

#include "model/AppContext.h"
#include "model/OvInfoAct.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoGCols.h"
#include "model/OvInfoPrm.h"
#include "model/OvInfoSheet.h"
#include "model/Report.h"
#include "ui/DesignerContext.h"

namespace orvik::ui {

struct ExplorerPanel::Node : wxTreeItemData {
    design::ExplorerRoot Root;
    ObjectKind Kind;
    COvInfoObject* Object;
    Node(design::ExplorerRoot root, ObjectKind kind, COvInfoObject* object)
        : Root(root), Kind(kind), Object(object) {}
};

namespace {

enum MenuId { kNewItem = wxID_HIGHEST + 300, kNewChildItem, kDeleteItem, kRunTask };

CReport* OpenReport() {
    AppContext* context = DesignerContext();
    return context ? &context->Report() : nullptr;
}

wxString Utf8(const std::string& text) {
    return wxString::FromUTF8(text.c_str());
}

}  // namespace

ExplorerPanel::ExplorerPanel(wxWindow* parent)
    : wxTreeCtrl(parent, wxID_ANY, wxDefaultPosition, wxSize(240, 300),
                 wxTR_DEFAULT_STYLE | wxTR_HIDE_ROOT | wxTR_SINGLE) {
    Bind(wxEVT_TREE_SEL_CHANGED, &ExplorerPanel::OnSelectionChanged, this);
    Bind(wxEVT_TREE_ITEM_ACTIVATED, &ExplorerPanel::OnActivated, this);
    Bind(wxEVT_TREE_ITEM_MENU, &ExplorerPanel::OnContextMenu, this);
    Bind(wxEVT_TREE_KEY_DOWN, &ExplorerPanel::OnKeyDown, this);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { NewItem(); }, kNewItem);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { NewChildItem(); }, kNewChildItem);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { DeleteItem(); }, kDeleteItem);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { RunTask(); }, kRunTask);
}

const ExplorerPanel::Node* ExplorerPanel::NodeOf(const wxTreeItemId& item) const {
    return item.IsOk() ? static_cast<const Node*>(GetItemData(item)) : nullptr;
}

void ExplorerPanel::Fill(const wxTreeItemId& parent, const design::ExplorerNode& node) {
    const wxTreeItemId item =
        AppendItem(parent, Utf8(node.Caption), -1, -1, new Node(node.Root, node.Kind, node.Object));
    if (node.Object) node.Object->ExplorerItem = item.GetID();
    if (!node.Object) roots_[static_cast<int>(node.Root)] = item;
    for (const design::ExplorerNode& child : node.Children) Fill(item, child);
}

void ExplorerPanel::Rebuild() {
    CReport* report = OpenReport();
    const Node* selected = NodeOf(GetSelection());
    const COvInfoObject* selectedObject = selected ? selected->Object : nullptr;
    const design::ExplorerRoot selectedRoot =
        selected ? selected->Root : design::ExplorerRoot::Page;
    rebuilding_ = true;
    Freeze();
    DeleteAllItems();
    const wxTreeItemId hidden = AddRoot("Orvik");
    if (report) {
        for (const design::ExplorerNode& root :
             design::BuildExplorerTree(*DesignerContext(), *report))
            Fill(hidden, root);
    }
    // Every root open, as a report's outline is what the tree is for.
    wxTreeItemIdValue cookie;
    for (wxTreeItemId root = GetFirstChild(hidden, cookie); root.IsOk();
         root = GetNextChild(hidden, cookie)) {
        if (ItemHasChildren(root)) Expand(root);
    }
    // The selected object may be the one just deleted: it is looked for among the new items by
    // its address alone, never dereferenced.
    wxTreeItemId reselect = selectedObject ? FindItem(hidden, selectedObject) : wxTreeItemId();
    if (!reselect.IsOk() && selected) reselect = RootItem(selectedRoot);
    if (reselect.IsOk()) SelectItem(reselect);
    Thaw();
    rebuilding_ = false;
}

void ExplorerPanel::RebuildForAnotherReport() {
    rebuilding_ = true;
    UnselectAll();
    rebuilding_ = false;
    Rebuild();
}

wxTreeItemId ExplorerPanel::FindItem(const wxTreeItemId& parent,
                                     const COvInfoObject* object) const {
    wxTreeItemIdValue cookie;
    for (wxTreeItemId item = GetFirstChild(parent, cookie); item.IsOk();
         item = GetNextChild(parent, cookie)) {
        if (const Node* node = NodeOf(item); node && node->Object == object) return item;
        if (const wxTreeItemId found = FindItem(item, object); found.IsOk()) return found;
    }
    return {};
}

wxTreeItemId ExplorerPanel::ItemOf(const COvInfoObject* object) const {
    if (!object || !object->ExplorerItem) return {};
    return wxTreeItemId(object->ExplorerItem);
}

wxTreeItemId ExplorerPanel::RootItem(design::ExplorerRoot root) const {
    return roots_[static_cast<int>(root)];
}

void ExplorerPanel::OnSelectionChanged(wxTreeEvent& event) {
    if (rebuilding_) return;
    const Node* node = NodeOf(event.GetItem());
    AppContext* context = DesignerContext();
    if (!node || !context) return;
    if (node->Object) {
        design::ShowObjectProperties(*context, *node->Object);
    } else if (node->Root == design::ExplorerRoot::Settings) {
        context->Front().ShowSettings();
    } else if (node->Root == design::ExplorerRoot::Page) {
        if (context->Report().ReportObject)
            context->Report().ReportObject->ShowProp(DesignerContext()->Front());
        if (OnPageSelected) OnPageSelected();
    }
}

void ExplorerPanel::OnActivated(wxTreeEvent& event) {
    const Node* node = NodeOf(event.GetItem());
    if (node && node->Kind == ObjectKind::Task) {
        RunTask();
    } else {
        event.Skip();
    }
}

void ExplorerPanel::OnContextMenu(wxTreeEvent& event) {
    const Node* node = NodeOf(event.GetItem());
    if (!node) return;
    SelectItem(event.GetItem());
    design::ExplorerNode item;
    item.Root = node->Root;
    item.Kind = node->Kind;
    item.Object = node->Object;
    const design::ExplorerMenuTexts texts = design::MenuTexts(*DesignerContext(), item);
    wxMenu menu;
    if (!texts.NewItem.empty()) menu.Append(kNewItem, Utf8(texts.NewItem));
    if (!texts.NewChildItem.empty()) menu.Append(kNewChildItem, Utf8(texts.NewChildItem));
    if (!texts.Delete.empty()) menu.Append(kDeleteItem, Utf8(texts.Delete));
    if (!texts.RunTask.empty()) {
        menu.AppendSeparator();
        menu.Append(kRunTask, Utf8(texts.RunTask));
    }
    if (menu.GetMenuItemCount() > 0) PopupMenu(&menu);
}

void ExplorerPanel::OnKeyDown(wxTreeEvent& event) {
    const wxKeyEvent& key = event.GetKeyEvent();
    switch (key.GetKeyCode()) {
        case WXK_INSERT:
        case WXK_NUMPAD_INSERT:
            if (key.ControlDown()) {
                NewChildItem();
            } else {
                NewItem();
            }
            break;
        case WXK_DELETE:
        case WXK_NUMPAD_DELETE:
            DeleteItem();
            break;
        default:
            event.Skip();
    }
}

COvInfoObject* ExplorerPanel::SelectedObject() const {
    const Node* node = NodeOf(GetSelection());
    return node ? node->Object : nullptr;
}

void ExplorerPanel::SelectObject(const COvInfoObject* object) {
    Rebuild();
    if (const wxTreeItemId item = ItemOf(object); item.IsOk()) SelectItem(item);
}

void ExplorerPanel::NewItem() {
    const Node* node = NodeOf(GetSelection());
    CReport* report = OpenReport();
    if (!node || !report) return;
    if (node->Root == design::ExplorerRoot::Page || node->Root == design::ExplorerRoot::Settings)
        return;
    if (COvInfoObject* added = design::NewItem(*DesignerContext(), node->Root)) {
        if (OnEdited) OnEdited("New");
        Rebuild();
        if (const wxTreeItemId item = ItemOf(added); item.IsOk()) SelectItem(item);
    }
}

void ExplorerPanel::NewChildItem() {
    const Node* node = NodeOf(GetSelection());
    CReport* report = OpenReport();
    if (!node || !report || node->Kind != ObjectKind::Task) return;
    auto* task = static_cast<COvInfoAct*>(node->Object);
    // A step's own item stands for its task here, so Ctrl+Ins on a step adds a sibling.
    if (task->Parent) task = task->Parent;
    if (COvInfoAct* added = design::NewChildItem(*DesignerContext(), *task)) {
        if (OnEdited) OnEdited("New Step");
        Rebuild();
        if (const wxTreeItemId item = ItemOf(added); item.IsOk()) SelectItem(item);
    }
}

void ExplorerPanel::DeleteItem() {
    const Node* node = NodeOf(GetSelection());
    CReport* report = OpenReport();
    if (!node || !node->Object || !report) return;
    const design::ExplorerRoot root = node->Root;
    if (design::DeleteItem(*DesignerContext(), *node->Object)) {
        if (OnEdited) OnEdited("Delete");
        Rebuild();
        SelectItem(RootItem(root));
    }
}

void ExplorerPanel::RunTask() {
    const Node* node = NodeOf(GetSelection());
    CReport* report = OpenReport();
    if (!node || node->Kind != ObjectKind::Task || !report) return;
    const auto* task = static_cast<const COvInfoAct*>(node->Object);
    if (task->Parent) task = task->Parent;
    wxBusyCursor busy;
    design::RunTaskNamed(*DesignerContext(), task->Name.Value);
}

}  // namespace orvik::ui
