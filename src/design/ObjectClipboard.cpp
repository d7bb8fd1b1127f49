#include "design/ObjectClipboard.h"

#include <algorithm>

#include "core/Run.h"
#include "design/PropertyChange.h"
#include "model/OvInfoAct.h"
#include "model/Registries.h"
#include "model/Report.h"

namespace orvik::design {
namespace {

using Values = std::vector<std::pair<std::string, std::string>>;

// The names no copy takes over: the copy has a name of its own, and a step its own parent.
bool IsIdentity(const std::string& name) {
    return name == "Name" || name == "ActParent";
}

Values StoredValues(const COvInfoObject& object) {
    Values values;
    for (const COvInfoProp* prop : object.Props)
        if (prop->IsStored() && !prop->Value.empty() && !IsIdentity(prop->Name))
            values.emplace_back(prop->Name, prop->Value);
    return values;
}

template <typename Object>
bool Holds(const std::vector<std::unique_ptr<Object>>& list, const COvInfoObject& object) {
    return std::any_of(list.begin(), list.end(),
                       [&](const std::unique_ptr<Object>& each) { return each.get() == &object; });
}

ObjectKind KindOf(ExplorerRoot root) {
    switch (root) {
        case ExplorerRoot::Parameters:
            return ObjectKind::Parameter;
        case ExplorerRoot::DataSources:
            return ObjectKind::DataSource;
        case ExplorerRoot::Sheets:
            return ObjectKind::Sheet;
        default:
            return ObjectKind::Task;
    }
}

// Gives `object` the values as edits would: a list value first, so the properties it brings in
// are there for the values after it.
void Apply(Run& run, ObjectKind kind, COvInfoObject& object, const Values& values) {
    for (const bool lists : {true, false}) {
        for (const auto& [name, value] : values) {
            COvInfoProp* prop = object.GetPropByName(name);
            if (!prop || (prop->Kind == PropKind::List) != lists || prop->Value == value) continue;
            const std::string old = prop->Value;
            if (prop->Kind == PropKind::List)
                prop->PISetCombo(value, &run.Registries().ComboValues, prop->ComboId);
            else
                prop->Value = value;
            OnPropertyChanged(run, {kind, &object}, *prop, old);
        }
    }
}

}  // namespace

std::optional<ObjectSnapshot> SnapshotOf(Run& run, const COvInfoObject& object) {
    CReport& report = run.Report();
    ObjectSnapshot snapshot;
    if (Holds(report.DataSources, object)) {
        snapshot.Root = ExplorerRoot::DataSources;
    } else if (Holds(report.Sheets, object) && &object != report.ReportObject.get()) {
        snapshot.Root = ExplorerRoot::Sheets;
    } else if (Holds(report.Params, object)) {
        snapshot.Root = ExplorerRoot::Parameters;
    } else if (Holds(report.Tasks, object) && !static_cast<const COvInfoAct&>(object).Parent) {
        snapshot.Root = ExplorerRoot::Tasks;
        for (const auto& step : report.Tasks)
            if (step->Parent == &object) snapshot.Steps.push_back(StoredValues(*step));
    } else {
        return std::nullopt;
    }
    snapshot.Values = StoredValues(object);
    return snapshot;
}

COvInfoObject* PasteSnapshot(Run& run, const ObjectSnapshot& snapshot) {
    COvInfoObject* added = NewItem(run, snapshot.Root);
    if (!added) return nullptr;
    Apply(run, KindOf(snapshot.Root), *added, snapshot.Values);
    if (snapshot.Root == ExplorerRoot::Tasks) {
        auto& task = static_cast<COvInfoAct&>(*added);
        for (const Values& step : snapshot.Steps)
            if (COvInfoAct* made = NewChildItem(run, task))
                Apply(run, ObjectKind::Task, *made, step);
    }
    return added;
}

}  // namespace orvik::design
