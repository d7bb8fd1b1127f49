#include "ui/PropertyBar.h"

#include <wx/sizer.h>
#include <wx/wupdlock.h>

#include <cstdint>
#include <exception>

#include "core/Run.h"
#include "design/PropertyChange.h"
#include "model/AppContext.h"
#include "model/PropertyEncoding.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "ui/DesignerContext.h"

namespace orvik::ui {

namespace {

// True when `object` is still one of the open report's objects. A postponed refill must not show
// an object the edit it followed has deleted.
bool InOpenReport(const COvInfoObject* object) {
    AppContext* context = DesignerContext();
    if (!context || !object) return false;
    const CReport& report = context->Report();
    if (report.ReportObject.get() == object) return true;
    for (const auto& sheet : report.Sheets) {
        if (sheet.get() == object) return true;
        for (const auto& columns : sheet->GridColumns)
            if (columns.get() == object) return true;
    }
    for (const auto& ds : report.DataSources)
        if (ds.get() == object) return true;
    for (const auto& task : report.Tasks)
        if (task.get() == object) return true;
    for (const auto& prm : report.Params)
        if (prm.get() == object) return true;
    return false;
}

// True when what was shown as `kind` is a report object that is no longer there. The settings
// and the empty bar are always there.
bool Gone(ObjectKind kind, const COvInfoObject* object) {
    switch (kind) {
        case ObjectKind::None:
        case ObjectKind::Settings:
            return false;
        case ObjectKind::Report:
        case ObjectKind::Sheet:
        case ObjectKind::DataSource:
        case ObjectKind::Parameter:
        case ObjectKind::GridColumns:
        case ObjectKind::Task:
            return !InOpenReport(object);
    }
    return false;
}

wxString GroupCaption(const CRegistries& registries, int group) {
    if (group >= 0 && static_cast<size_t>(group) < registries.PropertyGroups.size()) {
        const std::string& caption = registries.PropertyGroups[static_cast<size_t>(group)]->Caption;
        return wxString::FromUTF8(caption.data(), caption.size());
    }
    return wxString::Format(wxS("%d"), group);  // a plug-in's group that was never registered
}

}  // namespace

PropertyBar::PropertyBar(wxWindow* parent)
    : wxPanel(parent, wxID_ANY),
      grid_(new wxPropertyGrid(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                               wxPG_SPLITTER_AUTO_CENTER | wxPG_DEFAULT_STYLE)) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(grid_, 1, wxEXPAND);
    SetSizer(sizer);
    grid_->Bind(wxEVT_PG_CHANGED, &PropertyBar::OnChanged, this);
}

PropertyBar::~PropertyBar() {
    // The grid dies after this object's members; it must not call back into them meanwhile.
    grid_->Unbind(wxEVT_PG_CHANGED, &PropertyBar::OnChanged, this);
}

void PropertyBar::ShowObject(ObjectKind kind, COvInfoObject* object) {
    Show(object ? kind : ObjectKind::None, object);
}

void PropertyBar::ShowSettings() {
    Show(ObjectKind::Settings, nullptr);
}

void PropertyBar::Clear() {
    Show(ObjectKind::None, nullptr);
}

void PropertyBar::Refill() {
    if (Gone(kind_, object_)) {
        Show(ObjectKind::None, nullptr);
    } else {
        Show(kind_, object_);
    }
}

void PropertyBar::Show(ObjectKind kind, COvInfoObject* object) {
    if (editDepth_ > 0) {
        Postpone(kind, object);
        return;
    }
    kind_ = kind;
    object_ = object;
    Fill();
}

void PropertyBar::Postpone(ObjectKind kind, COvInfoObject* object) {
    pending_ = PendingShow{kind, object, generation_};
    hasPending_ = true;
    ++postponed_;
    // The items may stand for properties the edit is deleting; until the refill replaces them
    // they lead nowhere.
    properties_.clear();
    referrers_.clear();
    SchedulePostponed();
}

void PropertyBar::SchedulePostponed() {
    if (!hasPending_ || showScheduled_) return;
    showScheduled_ = true;
    CallAfter(&PropertyBar::ShowPostponed);
}

void PropertyBar::ShowPostponed() {
    showScheduled_ = false;
    // A message box raised by the edit runs the event loop before the edit is over: the refill
    // then waits for the edit to end, which schedules it again.
    if (!hasPending_ || editDepth_ > 0) return;
    hasPending_ = false;
    const PendingShow pending = pending_;
    if (pending.Generation != generation_) return;  // something else was shown meanwhile
    if (Gone(pending.Kind, pending.Object)) {
        Show(ObjectKind::None, nullptr);
    } else {
        Show(pending.Kind, pending.Object);
    }
}

std::vector<COvInfoProp*> PropertyBar::ShownList() const {
    std::vector<COvInfoProp*> list;
    if (kind_ == ObjectKind::Settings) {
        if (AppContext* context = DesignerContext()) {
            for (const auto& setting : context->Registries().ProgramSettings)
                list.push_back(setting.get());
        }
    } else if (object_) {
        list = object_->Props;
    }
    return list;
}

ItemSources PropertyBar::Sources() const {
    ItemSources sources;
    sources.Dialog = dialogEditor_;
    if (AppContext* context = DesignerContext()) {
        sources.Entries = &context->Registries().ComboValues;
        sources.ProgramFolder = context->ProgramFolder();
    }
    return sources;
}

void PropertyBar::Fill() {
    ++generation_;
    // Only compared, never followed: the property may be gone.
    const auto wasSelected = reinterpret_cast<std::uintptr_t>(PropertyOf(grid_->GetSelection()));
    const auto reselect = wasSelected ? wasSelected : reselect_;
    reselect_ = 0;
    properties_.clear();
    referrers_.clear();
    wxWindowUpdateLocker noFlicker(grid_);
    grid_->Clear();
    AppContext* context = DesignerContext();
    if (!context || kind_ == ObjectKind::None) return;
    const CRegistries& registries = context->Registries();
    const ItemSources sources = Sources();
    const std::vector<COvInfoProp*> list = ShownList();

    // A property refers back only while a reference in the list shown stands for it.
    for (COvInfoProp* listed : list) listed->RefBy = nullptr;
    std::map<int, wxPGProperty*> sections;
    wxPGProperty* toSelect = nullptr;
    int number = 0;
    for (COvInfoProp* listed : list) {
        ++number;
        if (!listed->IsVisible()) continue;
        COvInfoProp* shown = listed;
        if (listed->Kind == PropKind::Reference && listed->SelectedCombo) {
            shown = static_cast<COvInfoProp*>(listed->SelectedCombo);
            shown->RefBy = listed;
        }
        wxPGProperty*& section = sections[listed->Group];
        if (!section) {
            section =
                grid_->Append(new wxPropertyCategory(GroupCaption(registries, listed->Group),
                                                     wxString::Format("group%d", listed->Group)));
        }
        // Names within one list are unique, but the report object lists every parameter's value
        // under the same name: the grid's own names are positions.
        wxPGProperty* item = grid_->AppendIn(
            section, MakePropertyItem(
                         *shown, wxString::FromUTF8(listed->Caption.data(), listed->Caption.size()),
                         wxString::Format("item%d", number), sources));
        if (shown->IsReadOnly() || listed->IsReadOnly()) grid_->SetPropertyReadOnly(item, true);
        // Masking remakes the item's editor, which needs the item to be in the grid already.
        if (shown->IsOption(PropFlag::Secret) && item->IsKindOf(wxCLASSINFO(wxStringProperty)))
            grid_->SetPropertyAttribute(item, wxPG_STRING_PASSWORD, true);
        properties_[item] = shown;
        if (shown != listed) referrers_[item] = listed;
        if (reinterpret_cast<std::uintptr_t>(shown) == reselect) toSelect = item;
    }
    if (toSelect) grid_->SelectProperty(toSelect);
}

COvInfoProp* PropertyBar::PropertyOf(const wxPGProperty* item) const {
    const auto found = properties_.find(item);
    return found == properties_.end() ? nullptr : found->second;
}

wxPGProperty* PropertyBar::ItemFor(const std::string& propertyName) const {
    for (wxPropertyGridIterator it = grid_->GetIterator(wxPG_ITERATE_PROPERTIES); !it.AtEnd();
         ++it) {
        const COvInfoProp* prop = PropertyOf(*it);
        if (!prop) continue;
        const auto referrer = referrers_.find(*it);
        if (prop->Name == propertyName ||
            (referrer != referrers_.end() && referrer->second->Name == propertyName))
            return *it;
    }
    return nullptr;
}

bool PropertyBar::CommitValue(const std::string& propertyName, const wxVariant& value) {
    wxPGProperty* item = ItemFor(propertyName);
    if (!item || item->HasFlag(wxPG_PROP_READONLY)) return false;
    // A list entry may be named by its caption, as the user sees it, or by its stored name.
    wxVariant checked = ListItemValue(*PropertyOf(item), value, Sources());
    // Checked here as well, so a refused value answers false instead of raising the grid's
    // message box.
    wxPGValidationInfo info;
    if (!item->ValidateValue(checked, info)) return false;
    // The grid validates, stores the value and sends the change event OnChanged handles: the
    // very path a user's edit takes.
    return grid_->ChangePropertyValue(item, checked);
}

void PropertyBar::OnChanged(wxPropertyGridEvent& event) {
    // Not skipped: a window above acting on the event would do so inside the grid's change
    // handling, where the bar can no longer hold back a refill.
    // A font or colour item reports the change of one of its parts through its own item.
    wxPGProperty* item = event.GetProperty();
    while (item && !item->IsCategory() && !item->IsRoot() && !PropertyOf(item))
        item = item->GetParent();
    if (item && PropertyOf(item)) CommitItem(item);
}

void PropertyBar::CommitItem(wxPGProperty* item) {
    COvInfoProp* prop = PropertyOf(item);
    AppContext* context = DesignerContext();
    if (!prop || !context) return;
    const std::optional<std::string> text = EditedText(*prop, *item);
    if (!text) {
        ShowStoredValue(*item, *prop, Sources());
        return;
    }
    const std::string oldValue = prop->Value;
    const std::string what = prop->Caption.empty() ? prop->Name : prop->Caption;
    ApplyEditedText(*prop, *text, context->Registries().ComboValues, context->ProgramFolder());

    const unsigned postponedBefore = postponed_;
    const design::ShownProperties shown{kind_, object_};
    bool listChanged = false;
    bool carriedOut = false;
    ++editDepth_;
    try {
        listChanged = design::OnPropertyChanged(*context, shown, *prop, oldValue);
        carriedOut = true;
    } catch (const std::exception& error) {
        // An exception must not cross the toolkit's event loop: it would end the program.
        ShowMessage(*DesignerContext(), error.what(), {}, MessageBoxButtons::Ok,
                    MessageBoxIcon::Error);
    } catch (...) {
        ShowMessage(*DesignerContext(), "The change could not be carried out.", {},
                    MessageBoxButtons::Ok, MessageBoxIcon::Error);
    }
    --editDepth_;
    if (carriedOut && OnEdited) OnEdited(what);
    if (listChanged && postponed_ == postponedBefore) Postpone(kind_, object_);
    SchedulePostponed();
    if (postponed_ != postponedBefore) {
        reselect_ = reinterpret_cast<std::uintptr_t>(prop);
        return;
    }
    // The stored form (a reduced number, a normalised time, an unchanged invalid date) is what
    // the item shows from now on.
    ShowStoredValue(*item, *prop, Sources());
}

}  // namespace orvik::ui
