#include "ui/CatalogBar.h"

#include <wx/checklst.h>
#include <wx/dataobj.h>
#include <wx/dialog.h>
#include <wx/dnd.h>
#include <wx/menu.h>
#include <wx/sizer.h>
#include <wx/srchctrl.h>
#include <wx/treectrl.h>

#include <cstdlib>
#include <set>

#include "model/AppContext.h"
#include "model/OvCombos.h"
#include "model/OvInfoDS.h"
#include "model/Registries.h"
#include "sources/CatalogTree.h"
#include "ui/DesignerContext.h"

namespace orvik::ui {
namespace {

wxString FromUtf8(const std::string& text) {
    return wxString::FromUTF8(text.data(), text.size());
}

const char* AxisName(char axis) {
    switch (axis) {
        case QueryAxis::Data:
            return "data";
        case QueryAxis::Rows:
            return "rows";
        case QueryAxis::Columns:
            return "columns";
        case QueryAxis::Filter:
            return "filter";
        default:
            return "";
    }
}

constexpr int kFirstAxisCommand = wxID_HIGHEST + 700;
constexpr int kPickMembers = wxID_HIGHEST + 720;
// More than this many matches are not listed: a level of a million customers stays usable by
// searching, not by scrolling.
constexpr size_t kMostListedMembers = 2000;

// A searchable checked list of an element's members; the ticks outlive a search that hides them.
class MemberPicker : public wxDialog {
  public:
    MemberPicker(wxWindow* parent, const wxString& title,
                 std::vector<std::pair<std::string, std::string>> members,
                 std::set<std::string> chosen)
        : wxDialog(parent, wxID_ANY, title, wxDefaultPosition, wxSize(420, 520),
                   wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
          members_(std::move(members)),
          chosen_(std::move(chosen)) {
        auto* sizer = new wxBoxSizer(wxVERTICAL);
        search_ = new wxSearchCtrl(this, wxID_ANY);
        list_ = new wxCheckListBox(this, wxID_ANY);
        sizer->Add(search_, 0, wxEXPAND | wxALL, 6);
        sizer->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT, 6);
        sizer->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 6);
        SetSizer(sizer);
        search_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { Filter(); });
        list_->Bind(wxEVT_CHECKLISTBOX, [this](wxCommandEvent& event) {
            const std::string& name = shown_[static_cast<size_t>(event.GetInt())];
            if (list_->IsChecked(static_cast<unsigned>(event.GetInt())))
                chosen_.insert(name);
            else
                chosen_.erase(name);
        });
        Filter();
    }
    const std::set<std::string>& Chosen() const { return chosen_; }

  private:
    void Filter() {
        const wxString typed = search_->GetValue().Lower();
        wxArrayString captions;
        shown_.clear();
        for (const auto& [name, caption] : members_) {
            if (!typed.empty() && FromUtf8(caption).Lower().Find(typed) == wxNOT_FOUND) continue;
            if (shown_.size() == kMostListedMembers) break;
            shown_.push_back(name);
            captions.Add(FromUtf8(caption));
        }
        list_->Set(captions);
        for (size_t i = 0; i < shown_.size(); ++i)
            if (chosen_.count(shown_[i])) list_->Check(static_cast<unsigned>(i));
    }

    std::vector<std::pair<std::string, std::string>> members_;  // unique name, caption
    std::set<std::string> chosen_;
    std::vector<std::string> shown_;
    wxSearchCtrl* search_ = nullptr;
    wxCheckListBox* list_ = nullptr;
};

}  // namespace

CatalogBar::CatalogBar(wxWindow* parent) : wxPanel(parent, wxID_ANY) {
    tree_ = new wxTreeCtrl(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                           wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_SINGLE);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(tree_, 1, wxEXPAND);
    SetSizer(sizer);
    tree_->Bind(wxEVT_TREE_ITEM_MENU, &CatalogBar::OnMenu, this);
    tree_->Bind(wxEVT_TREE_BEGIN_DRAG, &CatalogBar::OnBeginDrag, this);
}

int CatalogBar::NodeOf(const wxTreeItemId& item) const {
    for (const auto& [node, shown] : items_)
        if (shown == item) return node;
    return 0;
}

std::string CatalogBar::DragText(int id) {
    return "orvik-catalog-node:" + std::to_string(id);
}

void CatalogBar::OnBeginDrag(wxTreeEvent& event) {
    const int id = NodeOf(event.GetItem());
    if (id == 0) return;
    wxTextDataObject data(DragText(id));
    wxDropSource source(data, tree_);
    source.DoDragDrop(wxDrag_CopyOnly);
}

bool CatalogBar::Drop(const std::string& text, const COvInfoDS* sheetSource, char axis) {
    const std::string prefix = DragText(0).substr(0, DragText(0).size() - 1);
    if (!source_ || sheetSource != source_ || text.rfind(prefix, 0) != 0) return false;
    const int id = std::atoi(text.c_str() + prefix.size());
    CatalogTree* catalog = Tree(source_);
    if (!catalog) return false;
    for (const AxisMenuEntry& entry : catalog->MenuFor(id)) {
        // Dropping where the element already is changes nothing (the menu would take it off).
        if (entry.Axis == axis) return !entry.Checked && ChooseAxis(id, axis);
    }
    return false;
}

CatalogTree* CatalogBar::Tree(COvInfoDS* source) const {
    return source && source->tpDS.Value == "OLAP" ? TreeBarOf(*source) : nullptr;
}

void CatalogBar::ShowSource(COvInfoDS* source) {
    source_ = Tree(source) ? source : nullptr;
    Fill();
}

void CatalogBar::Fill() {
    tree_->DeleteAllItems();
    items_.clear();
    CatalogTree* catalog = Tree(source_);
    if (!catalog || catalog->Items().empty()) return;
    for (const auto& item : catalog->Items()) {
        wxString text = FromUtf8(item->Caption);
        if (item->Node.Axis != QueryAxis::None)
            text += wxString(" (") + AxisName(item->Node.Axis) + ")";
        const auto parent = items_.find(item->ParentId);
        const wxTreeItemId shown =
            parent == items_.end() ? tree_->AddRoot(text) : tree_->AppendItem(parent->second, text);
        tree_->SetItemBold(shown, item->Node.Axis != QueryAxis::None);
        items_[item->Node.Id] = shown;
    }
    tree_->Expand(tree_->GetRootItem());
}

wxTreeItemId CatalogBar::ItemOf(int id) const {
    const auto found = items_.find(id);
    return found == items_.end() ? wxTreeItemId() : found->second;
}

bool CatalogBar::ChooseAxis(int id, char axis) {
    CatalogTree* catalog = Tree(source_);
    if (!catalog || !catalog->AddToAxis(id, axis)) return false;
    Fill();
    if (OnChanged) OnChanged(std::string("Catalog: ") + AxisName(axis));
    return true;
}

bool CatalogBar::ChooseMembers(int id, const std::vector<std::string>& members) {
    CatalogTree* catalog = Tree(source_);
    CatalogItem* item = catalog ? catalog->Find(id) : nullptr;
    if (!item) return false;
    std::string list;
    for (const std::string& member : members) list += (list.empty() ? "" : ",") + member;
    if (!catalog->Builder().SetMemberList(item->Node, list)) return false;
    Fill();
    if (OnChanged) OnChanged("Catalog: members");
    return true;
}

void CatalogBar::OnMenu(wxTreeEvent& event) {
    CatalogTree* catalog = Tree(source_);
    if (!catalog) return;
    const int id = NodeOf(event.GetItem());
    const std::vector<AxisMenuEntry> entries = catalog->MenuFor(id);
    if (entries.empty()) return;
    wxMenu menu;
    for (size_t i = 0; i < entries.size(); ++i) {
        menu.AppendCheckItem(kFirstAxisCommand + static_cast<int>(i), FromUtf8(entries[i].Text))
            ->Check(entries[i].Checked);
    }
    const CatalogItem* item = catalog->Find(id);
    const bool pickable =
        item && item->Node.Axis != QueryAxis::None && item->Node.Axis != QueryAxis::Data;
    if (pickable) {
        menu.AppendSeparator();
        menu.Append(kPickMembers, "Choose &Members...");
    }
    const int chosen = tree_->GetPopupMenuSelectionFromUser(menu);
    if (chosen == kPickMembers) {
        PickMembers(id);
    } else if (chosen >= kFirstAxisCommand &&
               chosen < kFirstAxisCommand + static_cast<int>(entries.size())) {
        ChooseAxis(id, entries[static_cast<size_t>(chosen - kFirstAxisCommand)].Axis);
    }
}

void CatalogBar::PickMembers(int id) {
    CatalogTree* catalog = Tree(source_);
    CatalogItem* item = catalog ? catalog->Find(id) : nullptr;
    AppContext* context = DesignerContext();
    if (!item || !context) return;
    const COvInfoProp* prop = catalog->Builder().PropertyOf(item->Node);
    if (!prop) return;
    // The element's property lists its members, as the property bar offers them.
    std::vector<std::pair<std::string, std::string>> members;
    for (const auto& entry : context->Registries().ComboValues)
        if (static_cast<unsigned>(entry->Id) == prop->ComboId)
            members.emplace_back(entry->Name,
                                 entry->Caption.empty() ? entry->Name : entry->Caption);
    std::set<std::string> chosen;
    std::string list = item->Node.MemberList;
    for (size_t start = 0; start < list.size();) {
        const size_t comma = list.find(',', start);
        chosen.insert(list.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    MemberPicker picker(this, FromUtf8(item->Caption), std::move(members), std::move(chosen));
    if (picker.ShowModal() != wxID_OK) return;
    ChooseMembers(id, {picker.Chosen().begin(), picker.Chosen().end()});
}

}  // namespace orvik::ui
