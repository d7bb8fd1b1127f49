// What each kind of object takes along when the user deletes it, and how nothing is left
// pointing at what went:
// - a parameter: its value leaves the report object's list, its layout properties and the
//   properties its type brought in leave the registries;
// - a data source: its entry in the data-source list goes (unless another source still bears the
//   name). Its sheets stay where the user put them, but name no source any more and show
//   nothing: deleting a source must not silently delete the user's sheet layouts with it, and a
//   sheet that kept the old name would spring back to life when a new source happened to get it.
//   "PRM Combo DS" parameters reading from it forget their source, table, column and filter;
// - a sheet: the front end drops its tab and view first, then the sheet goes with its column
//   sets;
// - a task: its steps (and theirs) go with it; a step alone goes by itself.
#include "design/ObjectRemoval.h"
#include "design/DesignerWindows.h"

#include <algorithm>
#include <memory>

#include "core/Run.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "render/GridBase.h"
#include "render/GridView.h"
#include "render/GridViews.h"

namespace orvik::design {
namespace {

template <typename Visit>
void ForEachObject(const CReport& report, Visit&& visit) {
    if (report.ReportObject) visit(static_cast<COvInfoObject&>(*report.ReportObject));
    for (const auto& prm : report.Params) visit(static_cast<COvInfoObject&>(*prm));
    for (const auto& ds : report.DataSources) visit(static_cast<COvInfoObject&>(*ds));
    for (const auto& sheet : report.Sheets) {
        visit(static_cast<COvInfoObject&>(*sheet));
        for (const auto& column : sheet->GridColumns) visit(static_cast<COvInfoObject&>(*column));
    }
    for (const auto& task : report.Tasks) visit(static_cast<COvInfoObject&>(*task));
}

template <typename T>
bool Holds(const std::vector<std::unique_ptr<T>>& items, const COvInfoObject& object) {
    return std::any_of(items.begin(), items.end(),
                       [&object](const auto& item) { return item.get() == &object; });
}

// The properties the registries own that sit in `object`'s list (appended copies, a parameter's
// layout properties, the query builder's axis properties) are destroyed with it; its members die
// with the object itself.
void DestroyRegisteredProperties(CRegistries& registries, COvInfoObject& object) {
    std::unordered_set<const COvInfoProp*> registered;
    for (const auto& prop : registries.AppendedProperties) registered.insert(prop.get());
    std::vector<const COvInfoProp*> owned;
    for (const COvInfoProp* prop : object.Props)
        if (registered.contains(prop)) owned.push_back(prop);
    std::erase_if(object.Props,
                  [&registered](const COvInfoProp* prop) { return registered.contains(prop); });
    for (const COvInfoProp* prop : owned) registries.DestroyAppended(prop);
}

void ClearChoice(COvInfoProp* prop) {
    if (!prop) return;
    prop->Value.clear();
    prop->SelectedCombo = nullptr;
    prop->ValueIndex = -1;
}

void RemoveParameter(orvik::Run& run, CRegistries& registries, COvInfoPrm& prm) {
    CReport& report = run.Report();
    ReleaseReferencesTo(run, PropertiesOf(prm));
    if (report.ReportObject) std::erase(report.ReportObject->Props, &prm.PrmVal);
    DestroyRegisteredProperties(registries, prm);
    std::erase_if(report.Params, [&prm](const auto& item) { return item.get() == &prm; });
}

void RemoveDataSource(orvik::Run& run, COvInfoDS& ds) {
    CReport& report = run.Report();
    CRegistries& registries = run.Registries();
    const std::string name = ds.Name.Value;
    const bool nameStays = std::any_of(
        report.DataSources.begin(), report.DataSources.end(),
        [&](const auto& other) { return other.get() != &ds && other->Name.Value == name; });
    std::vector<COvInfoSheet*> affected;
    for (const auto& sheet : report.Sheets) {
        if (sheet->cDS.Value != name) continue;
        affected.push_back(sheet.get());
        if (!nameStays) ClearChoice(&sheet->cDS);
    }
    if (!nameStays) {
        for (const auto& prm : report.Params) {
            const COvInfoProp* cDS = prm->GetPropByName("cDS");
            if (prm->Type.Value != "DScmb" || !cDS || cDS->Value != name) continue;
            for (const char* key : {"cDS", "cDST", "cDSC", "cDSW"})
                ClearChoice(prm->GetPropByName(key));
        }
    }
    ReleaseReferencesTo(run, PropertiesOf(ds));
    if (report.CurrentDataSource == &ds) report.CurrentDataSource = nullptr;
    if (!nameStays) registries.RemoveComboValue(ListId::DataSources, name);
    DestroyRegisteredProperties(registries, ds);
    std::erase_if(report.DataSources, [&ds](const auto& item) { return item.get() == &ds; });

    // The grids still hold the results of the source that is gone: a refill drops them, and a
    // sheet that names no source is emptied by hand (a fill leaves such a grid as it was).
    for (COvInfoSheet* sheet : affected) {
        if (CGridView* view = FindGridView(*sheet)) {
            view->OnRefreshRequest();
            if (sheet->cDS.Value.empty() && view->GetGridCtrl())
                view->GetGridCtrl()->DeleteAllItems();
        }
        WindowsOf(run).SheetRefreshed(*sheet);
    }
}

void RemoveSheet(orvik::Run& run, COvInfoSheet& sheet) {
    CReport& report = run.Report();
    WindowsOf(run).RemoveSheetView(sheet);
    ReleaseReferencesTo(run, PropertiesOf(sheet));
    CRegistries& registries = run.Registries();
    for (const auto& column : sheet.GridColumns) DestroyRegisteredProperties(registries, *column);
    DestroyRegisteredProperties(registries, sheet);
    DestroyGridView(sheet);
    std::erase_if(report.Sheets, [&sheet](const auto& item) { return item.get() == &sheet; });
}

void RemoveTask(orvik::Run& run, CRegistries& registries, COvInfoAct& task) {
    CReport& report = run.Report();
    // Steps hang on their task by pointer; a file may even hang a step on a step. Whatever hangs
    // below the task, at any depth, goes with it.
    std::unordered_set<const COvInfoAct*> doomed{&task};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& item : report.Tasks) {
            if (item->Parent && doomed.contains(item->Parent) && doomed.insert(item.get()).second)
                grew = true;
        }
    }
    std::unordered_set<const COvInfoProp*> dying;
    for (const COvInfoAct* item : doomed) dying.insert(item->Props.begin(), item->Props.end());
    ReleaseReferencesTo(run, dying);
    for (const auto& item : report.Tasks)
        if (doomed.contains(item.get())) DestroyRegisteredProperties(registries, *item);
    std::erase_if(report.Tasks,
                  [&doomed](const auto& item) { return doomed.contains(item.get()); });
}

}  // namespace

std::unordered_set<const COvInfoProp*> PropertiesOf(const COvInfoObject& object) {
    std::unordered_set<const COvInfoProp*> props(object.Props.begin(), object.Props.end());
    if (object.TypeTag == ObjectKind::Sheet) {
        for (const auto& column : static_cast<const COvInfoSheet&>(object).GridColumns)
            props.insert(column->Props.begin(), column->Props.end());
    }
    return props;
}

void ReleaseReferencesTo(orvik::Run& run, const std::unordered_set<const COvInfoProp*>& dying) {
    CReport& report = run.Report();
    if (dying.empty()) return;
    const auto unbind = [&dying](COvInfoProp& prop) {
        if (prop.Kind != PropKind::Reference) return false;
        const auto* target = static_cast<const COvInfoProp*>(prop.SelectedCombo);
        if (!target || !dying.contains(target)) return false;
        prop.Value = target->Value;
        prop.Kind = PropKind::Text;
        prop.SelectedCombo = nullptr;
        return true;
    };
    for (const auto& prm : report.Params) {
        if (dying.contains(&prm->PrmVal) || !unbind(prm->PrmVal)) continue;
        // The reference text is positional: kept, it would name whatever moves into the place.
        if (COvInfoProp* cprop = prm->GetPropByName("cprop")) {
            cprop->Value.clear();
            cprop->DefaultValue.clear();
        }
    }
    ForEachObject(report, [&](COvInfoObject& object) {
        for (COvInfoProp* prop : object.Props) {
            if (dying.contains(prop)) continue;
            unbind(*prop);
            if (prop->RefBy && dying.contains(prop->RefBy)) prop->RefBy = nullptr;
        }
    });
}

COvInfoObject* ObjectHolding(const CReport& report, const COvInfoProp& prop) {
    COvInfoObject* found = nullptr;
    ForEachObject(report, [&](COvInfoObject& object) {
        if (!found &&
            std::find(object.Props.begin(), object.Props.end(), &prop) != object.Props.end())
            found = &object;
    });
    return found;
}

bool CanRemove(const CReport& report, const COvInfoObject& object) {
    switch (object.TypeTag) {
        case ObjectKind::Parameter:
            return Holds(report.Params, object);
        case ObjectKind::DataSource:
            return Holds(report.DataSources, object);
        case ObjectKind::Sheet:
            return Holds(report.Sheets, object);
        case ObjectKind::Task:
            return Holds(report.Tasks, object);
        case ObjectKind::None:
        case ObjectKind::Settings:
        case ObjectKind::Report:
        case ObjectKind::GridColumns:
            return false;
    }
    return false;
}

bool RemoveObject(orvik::Run& run, COvInfoObject& object) {
    CReport& report = run.Report();
    if (!CanRemove(report, object)) return false;
    switch (object.TypeTag) {
        case ObjectKind::Parameter:
            RemoveParameter(run, run.Registries(), static_cast<COvInfoPrm&>(object));
            break;
        case ObjectKind::DataSource:
            RemoveDataSource(run, static_cast<COvInfoDS&>(object));
            break;
        case ObjectKind::Sheet:
            RemoveSheet(run, static_cast<COvInfoSheet&>(object));
            break;
        case ObjectKind::Task:
            RemoveTask(run, run.Registries(), static_cast<COvInfoAct&>(object));
            break;
        case ObjectKind::None:
        case ObjectKind::Settings:
        case ObjectKind::Report:
        case ObjectKind::GridColumns:
            break;
    }
    return true;
}

}  // namespace orvik::design
