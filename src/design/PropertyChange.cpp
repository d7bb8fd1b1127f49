// The consequences of one edit, in a fixed order: settings go to the store; parameters rebuild
// their lists (or, for a value, the whole page); sheets and data sources run again; the explorer
// follows a rename; a list value swaps the properties it brings in; a new output type gets a new
// view; the report is marked changed; the sheet's grid takes the edit; and whatever shows on the
// page shows there at once.
#include "design/PropertyChange.h"
#include "design/DesignerWindows.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <unordered_set>

#include "core/LanguageTexts.h"
#include "core/Log.h"
#include "core/Run.h"
#include "core/SettingsStore.h"
#include "data/AdoDatabase.h"
#include "design/ExplorerModel.h"
#include "design/ObjectRemoval.h"
#include "design/PageRefresh.h"
#include "model/PropertyTranslation.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "model/TypeRegistries.h"
#include "params/ParameterValueList.h"
#include "render/GridBase.h"
#include "render/GridView.h"
#include "render/GridViews.h"

namespace orvik::design {
namespace {

constexpr const char* kErrorSource = "design";

bool IsOn(const std::string& value) {
    return std::atoi(value.c_str()) != 0;
}

void ClearChoice(COvInfoProp* prop) {
    if (!prop) return;
    prop->Value.clear();
    prop->SelectedCombo = nullptr;
    prop->ValueIndex = -1;
}

bool Lists(const COvInfoObject& object, const COvInfoProp& prop) {
    return std::find(object.Props.begin(), object.Props.end(), &prop) != object.Props.end();
}

template <typename T>
T* Holding(const std::vector<std::unique_ptr<T>>& items, const COvInfoProp& prop) {
    for (const auto& item : items)
        if (Lists(*item, prop)) return item.get();
    return nullptr;
}

class PropertyEdit {
  public:
    PropertyEdit(orvik::Run& run, CReport& report, const ShownProperties& shown, COvInfoProp& prop,
                 const std::string& oldValue)
        : run_(run),
          report_(report),
          kind_(shown.Kind),
          object_(shown.Object),
          prop_(prop),
          old_(oldValue),
          changed_(prop.Value != oldValue) {}

    bool Run() {
        if (kind_ == ObjectKind::Settings) {
            try {
                return Setting();
            } catch (const std::exception& error) {
                UxError(run_, error, kErrorSource, __LINE__, prop_.Name.c_str());
                return true;
            }
        }
        try {
            if (RefusedName()) return true;
            ByKind();
            ExplorerName();
            ValueList();
            NewView();
            // A plug-in hears of edits to its own objects, and of any edit while its view is
            // shown; the page rebuilt below shows what it made of them.
            if (object_) {
                NotifyTypesOfChange(
                    run_, *object_, prop_,
                    kind_ == ObjectKind::Sheet ? static_cast<COvInfoSheet*>(object_) : nullptr);
            }
        } catch (const std::exception& error) {
            UxError(run_, error, kErrorSource, __LINE__, prop_.Name.c_str());
        }
        report_.Modified = true;
        WindowsOf(run_).ModifiedChanged(true);
        try {
            TellGrid();
            if (!pageDone_ && kind_ != ObjectKind::Task) RefreshPage(run_);
        } catch (const std::exception& error) {
            UxError(run_, error, kErrorSource, __LINE__, prop_.Name.c_str());
        }
        return refill_;
    }

  private:
    // What an edit means for the kind of object it was made on.
    void ByKind() {
        switch (kind_) {
            case ObjectKind::Report:
            case ObjectKind::Parameter:
                Parameter();
                break;
            case ObjectKind::Sheet:
                Sheet();
                break;
            case ObjectKind::DataSource:
                DataSource();
                break;
            case ObjectKind::None:
            case ObjectKind::Settings:
            case ObjectKind::GridColumns:
            case ObjectKind::Task:
                break;
        }
    }

    // Program settings belong to the user, not to the report: they go to the store at once, and
    // the report is neither marked changed nor rebuilt for them.
    bool Setting() {
        SettingsStore& store = run_.Settings();
        if (!CRegistries::WriteSetting(store, prop_)) {
            ShowMessage(run_,
                        "The setting " + prop_.Name + " could not be saved: " + store.LastError(),
                        {}, MessageBoxButtons::Ok, MessageBoxIcon::Error);
        }
        if (prop_.Name != "Language") return false;
        ApplyLanguage(run_, prop_.Value);
        return true;
    }

    // True when `prop_` is `object`'s own name property (ColN for a column set).
    bool IsNameOf(const COvInfoObject* object) const {
        return object &&
               object->GetPropByName(object->TypeTag == ObjectKind::GridColumns ? "ColN"
                                                                                : "Name") == &prop_;
    }

    // Objects are found by name (in the explorer, in references, in runs, in the file: a sheet
    // without a name reads back as the report's own), so an empty or taken name is put back.
    bool RefusedName() {
        // Column names and the report object's need not differ from anything.
        if (!changed_ || !IsNameOf(object_) || kind_ == ObjectKind::GridColumns ||
            kind_ == ObjectKind::Report)
            return false;
        const std::string& name = prop_.Value;
        int message = 0;
        bool taken = false;
        const auto other = [&](const COvInfoObject& item) {
            return &item != object_ && item.NameValue() == name;
        };
        switch (kind_) {
            case ObjectKind::Parameter:
                message = 1320;
                for (const auto& item : report_.Params) taken = taken || other(*item);
                break;
            case ObjectKind::Sheet:
                message = 1321;
                for (const auto& item : report_.Sheets) taken = taken || other(*item);
                break;
            case ObjectKind::Task: {
                message = 1322;
                if (object_->TypeTag != ObjectKind::Task) break;
                const auto* parent = static_cast<const COvInfoAct*>(object_)->Parent;
                for (const auto& item : report_.Tasks)
                    taken = taken || (item->Parent == parent && other(*item));
                break;
            }
            case ObjectKind::DataSource:
                for (const auto& item : report_.DataSources) taken = taken || other(*item);
                break;
            case ObjectKind::None:
            case ObjectKind::Settings:
            case ObjectKind::Report:
            case ObjectKind::GridColumns:
                break;
        }
        if (!name.empty() && !taken) return false;
        if (taken && message != 0)
            ShowMessage(run_, run_.Language().GetText(message) + " = " + name);
        // The data-source list says it in its own words.
        if (taken && message == 0) ShowMessage(run_, "Not Uniq Combo Value = '" + name + "'");
        prop_.Value = old_;
        return true;
    }

    COvInfoPrm* EditedParameter() const {
        if (kind_ == ObjectKind::Parameter && object_ &&
            object_->TypeTag == ObjectKind::Parameter && Lists(*object_, prop_))
            return static_cast<COvInfoPrm*>(object_);
        return Holding(report_.Params, prop_);
    }

    void Parameter() {
        COvInfoPrm* prm = EditedParameter();
        const bool value =
            (prm && &prop_ == &prm->PrmVal) || (prop_.RefBy && prop_.RefBy->Name == "PrmVal");
        if (value) {
            // What every query returns may hang on the value: everything runs again.
            RebuildPage(run_);
            pageDone_ = true;
            return;
        }
        if (!prm) return;
        if (&prop_ == &prm->Name) prm->PrmVal.Caption = prop_.Value;
        if (prm->Type.Value == "DScmb" && prop_.Owner == &prm->Type && changed_) {
            // Tables of another source, columns of another table: what was chosen means nothing.
            if (prop_.Name == "cDS") {
                ClearChoice(prm->GetPropByName("cDST"));
                ClearChoice(prm->GetPropByName("cDSC"));
                if (COvInfoProp* filter = prm->GetPropByName("cDSW")) filter->Value.clear();
                refill_ = true;
            } else if (prop_.Name == "cDST") {
                ClearChoice(prm->GetPropByName("cDSC"));
                if (COvInfoProp* filter = prm->GetPropByName("cDSW")) filter->Value.clear();
                refill_ = true;
            }
        }
        if (&prop_ == &prm->Type && changed_) UnbindValue(*prm);
        WraperParam(run_, *prm, false);
        refill_ = true;
    }

    // The value editor of the old type (a list, a reference to another property) must not
    // outlive it; the new type binds its own.
    void UnbindValue(COvInfoPrm& prm) {
        COvInfoProp& value = prm.PrmVal;
        if (value.Kind == PropKind::Reference) {
            if (auto* target = static_cast<COvInfoProp*>(value.SelectedCombo);
                target && target->RefBy == &value)
                target->RefBy = nullptr;
        }
        value.Kind = PropKind::Text;
        value.ComboId = 0;
        value.SelectedCombo = nullptr;
        rebind_ = &prm;
    }

    COvInfoSheet* EditedSheet() const {
        if (object_ && object_->TypeTag == ObjectKind::Sheet && Lists(*object_, prop_)) {
            auto* sheet = static_cast<COvInfoSheet*>(object_);
            if (!sheet->IsReportObject) return sheet;
        }
        return nullptr;
    }

    void Sheet() {
        COvInfoSheet* sheet = EditedSheet();
        if (!sheet || !changed_) return;
        if (&prop_ == &sheet->Name) WindowsOf(run_).SheetRenamed(*sheet);
        if (&prop_ != &sheet->cDS) return;
        if (COvInfoDS* source = sheet->GetDS(report_.DataSources)) {
            source->OpenConnectDS(run_, true);
            // Every sheet of the source: reconnecting replaced the result they all show.
            RefreshSheetsOf(run_, *source);
            return;
        }
        // A sheet that names no source shows nothing; a fill would leave it as it was.
        if (CGridView* view = FindGridView(*sheet)) {
            view->OnRefreshRequest();
            if (view->GetGridCtrl()) view->GetGridCtrl()->DeleteAllItems();
        }
        WindowsOf(run_).SheetRefreshed(*sheet);
    }

    // Runs the source again, connecting it first when it has no open connection, and refills
    // its sheets when that worked.
    void RunAgain(COvInfoDS& source) {
        const bool connected = source.Connection && source.Connection->IsOpen();
        const int ran = connected ? source.OpenRSDS(run_) : source.OpenConnectDS(run_, true);
        if (ran == 1) RefreshSheetsOf(run_, source);
    }

    // The "PRM Combo DS" parameters that list from `source` read their lists again.
    void RebuildListsOf(const COvInfoDS& source) {
        for (const auto& prm : report_.Params) {
            const COvInfoProp* cDS = prm->GetPropByName("cDS");
            if (prm->Type.Value == "DScmb" && cDS && cDS->Value == source.Name.Value)
                WraperParam(run_, *prm, false);
        }
    }

    void DataSource() {
        if (!object_ || object_->TypeTag != ObjectKind::DataSource || !Lists(*object_, prop_))
            return;
        auto& source = static_cast<COvInfoDS&>(*object_);
        const std::string& key = prop_.Name;
        if (&prop_ == &source.Name) {
            if (changed_) RenameDataSource();
        } else if (&prop_ == &source.DSN) {
            if (source.OpenConnectDS(run_, false) != 1) return;
            RebuildListsOf(source);
            ClearChoice(source.GetPropByName("nCube"));
            // Running it reads the new connection's catalog (cubes, tree) before the query.
            RunAgain(source);
            refill_ = true;
        } else if (&prop_ == &source.Qry) {
            RunAgain(source);
        } else if (key == "bQ" && IsOn(prop_.Value) != IsOn(old_)) {
            SwitchTypedQuery(source, IsOn(prop_.Value));
            RunAgain(source);
            refill_ = true;
        } else if (key == "nCube") {
            RebuildListsOf(source);
            RunAgain(source);
        }
    }

    void RenameDataSource() {
        const std::string& name = prop_.Value;
        if (COvCombos* entry = run_.Registries().FindComboValue(ListId::DataSources, old_)) {
            entry->Name = name;
            entry->Caption = name;
            entry->BaseCaption = name;
        }
        for (const auto& sheet : report_.Sheets)
            if (sheet->cDS.Value == old_) sheet->cDS.Value = name;
        for (const auto& prm : report_.Params) {
            COvInfoProp* cDS = prm->GetPropByName("cDS");
            if (prm->Type.Value == "DScmb" && cDS && cDS->Value == old_) cDS->Value = name;
        }
    }

    // A typed query makes the builder's choices (the properties after the switch) moot, and
    // the other way round. The builder's data items are read-only whichever way it goes.
    void SwitchTypedQuery(COvInfoDS& source, bool typed) {
        bool after = false;
        for (COvInfoProp* prop : source.Props) {
            if (prop == &prop_) {
                after = true;
                continue;
            }
            if (!after || prop->Name == "MDXD") continue;
            if (typed)
                prop->Flags |= PropFlag::ReadOnly;
            else
                prop->Flags &= ~PropFlag::ReadOnly;
        }
        if (typed) {
            source.Qry.Flags &= ~PropFlag::ReadOnly;
            return;
        }
        source.Qry.Flags |= PropFlag::ReadOnly;
        if (source.Qry.Value.empty()) return;
        ShowMessage(run_, "Clear Query!", {}, MessageBoxButtons::Ok, MessageBoxIcon::None);
        source.Qry.Value.clear();
    }

    void ExplorerName() {
        if (!changed_ || !IsNameOf(object_) || kind_ == ObjectKind::Report) return;
        if (object_->TypeTag == ObjectKind::GridColumns)
            object_->ChangeExplName(run_.Front(),
                                    ColumnCaption(static_cast<const COvInfoGCols&>(*object_)));
        else
            object_->ChangeExplName(run_.Front(), prop_.Value);
    }

    void ValueList() {
        if (prop_.Kind != PropKind::List) return;
        COvInfoObject* holder = ObjectHolding(report_, prop_);
        if (!holder) holder = object_;
        if (!holder) return;
        std::unordered_set<const COvInfoProp*> leaving;
        for (const COvInfoProp* prop : holder->Props)
            if (prop->Owner == &prop_) leaving.insert(prop);
        ReleaseReferencesTo(run_, leaving);
        const std::string value = prop_.Value;
        run_.Registries().ReplaceAppended(prop_, holder->Props);
        // A list that is filled later (cubes, tables, columns) keeps a value it does not hold
        // yet; only an entry of the list brings properties in.
        if (prop_.Value.empty()) prop_.Value = value;
        listChanged_ = true;
        refill_ = true;
        if (rebind_) WraperParam(run_, *rebind_, false);
    }

    void NewView() {
        if (!listChanged_ || prop_.Name != "tpVW") return;
        if (COvInfoSheet* sheet = Holding(report_.Sheets, prop_))
            WindowsOf(run_).ReplaceSheetView(*sheet);
    }

    // The grid of the sheet the edit belongs to applies what it shows itself (colours, fonts,
    // a column's title).
    void TellGrid() {
        COvInfoSheet* sheet = Holding(report_.Sheets, prop_);
        for (size_t i = 0; !sheet && i < report_.Sheets.size(); ++i) {
            for (const auto& columns : report_.Sheets[i]->GridColumns)
                if (Lists(*columns, prop_)) sheet = report_.Sheets[i].get();
        }
        if (!sheet) return;
        if (CGridView* view = FindGridView(*sheet); view && view->GetGridCtrl())
            view->GetGridCtrl()->ApplyProperty(prop_);
    }

    orvik::Run& run_;
    CReport& report_;
    const ObjectKind kind_;
    COvInfoObject* const object_;
    COvInfoProp& prop_;
    const std::string old_;
    const bool changed_;
    bool refill_ = false;
    bool listChanged_ = false;
    bool pageDone_ = false;
    COvInfoPrm* rebind_ = nullptr;
};

}  // namespace

bool OnPropertyChanged(orvik::Run& run, const ShownProperties& shown, COvInfoProp& prop,
                       const std::string& oldValue) {
    CReport& report = run.Report();
    return PropertyEdit(run, report, shown, prop, oldValue).Run();
}

}  // namespace orvik::design
