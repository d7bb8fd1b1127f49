#include "plugin/PlugInTypes.h"

#include <memory>
#include <string>

#include "model/OvInfoAct.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoSheet.h"
#include "model/Report.h"
#include "plugin/PlugInGuard.h"

namespace orvik {
namespace {

// What the three kinds of entry share: the plug-in they forward to and the two answers every type
// gives. The plug-in is found at each call through the run's registries, which own it.
class PlugInForwarding {
  protected:
    explicit PlugInForwarding(int plugInIndex) : index_(plugInIndex) {}

    CRepPlugIn* PlugIn(Run& run) const { return PlugInAt(run.Registries(), index_); }

    // Makes the call `call(plugIn)` that returns nothing, guarded; false when the plug-in is
    // not there to call.
    template <typename Call>
    bool CallPlugIn(Run& run, const char* what, Failure failure, Call&& call) const {
        CRepPlugIn* plugIn = PlugIn(run);
        if (!plugIn) return false;
        Guarded(
            *plugIn, what, run, failure,
            [&] {
                call(*plugIn);
                return true;
            },
            false);
        return true;
    }

    // Tells the plug-in that `prop` of an object of its type changed.
    bool ForwardPropertyChanged(Run& run, COvInfoProp& prop) const {
        return CallPlugIn(run, "a property change", Failure::Logged,
                          [&](CRepPlugIn& plugIn) { plugIn.PropertyChanged(&prop); });
    }

    // The plug-in's part of `sheet` on the page: 0 refuses, 1 made, other values leave the sheet
    // to the program.
    SheetExport ForwardExportSheet(Run& run, COvInfoSheet& sheet, COvInfoAct& task,
                                   std::string& out) const {
        CRepPlugIn* plugIn = PlugIn(run);
        if (!plugIn) return SheetExport::Builtin;
        const int result = Guarded(
            *plugIn, "exporting a sheet", run, Failure::FailsRun,
            [&] { return plugIn->ExportSheet(&sheet, &task, out); }, 0);
        if (result == 0) return SheetExport::Refused;
        return result == 1 ? SheetExport::Done : SheetExport::Builtin;
    }

  private:
    int index_;
};

// A plug-in's data-source kind: the plug-in opens the source; what it leaves is shown as a
// source of no kind of the program's would show it.
class PlugInSourceKind : public DataSourceKind, PlugInForwarding {
  public:
    PlugInSourceKind(int plugInIndex, DataSourceKind& shownAs)
        : PlugInForwarding(plugInIndex), shownAs_(shownAs) {}

    int Connect(orvik::Run& run, COvInfoDS& source, bool) override {
        CRepPlugIn* plugIn = PlugIn(run);
        if (!plugIn) return 0;
        // The plug-in is told the sheet made or loaded last, as it always was.
        CReport& report = run.Report();
        COvInfoSheet* sheet = report.Sheets.empty() ? nullptr : report.Sheets.back().get();
        return Guarded(
            *plugIn, "opening a data source", run, Failure::FailsRun,
            [&] { return plugIn->OpenDataSource(sheet, &source); }, 0);
    }
    int Run(orvik::Run& run, COvInfoDS& source) override { return shownAs_.Run(run, source); }
    int RowHeaderColumnsWithoutResult() const override {
        return shownAs_.RowHeaderColumnsWithoutResult();
    }
    Variant ValueWithoutResult() const override { return shownAs_.ValueWithoutResult(); }
    GridFillStyle GridFill() const override { return shownAs_.GridFill(); }
    PageStyle Page() const override { return shownAs_.Page(); }

    bool RendersSheets() const override { return true; }
    SheetExport ExportSheet(orvik::Run& run, COvInfoSheet& sheet, COvInfoAct& task,
                            std::string& out) override {
        return ForwardExportSheet(run, sheet, task, out);
    }
    bool PropertyChanged(orvik::Run& run, COvInfoObject&, COvInfoProp& prop) override {
        return ForwardPropertyChanged(run, prop);
    }

  private:
    DataSourceKind& shownAs_;
};

// A plug-in's view type: the plug-in makes the sheet's view (not a grid) and its part of the page.
class PlugInViewType : public ViewType, PlugInForwarding {
  public:
    explicit PlugInViewType(int plugInIndex) : PlugInForwarding(plugInIndex) {}

    CGridView* MakeView(Run& run, COvInfoSheet& sheet) override {
        if (CRepPlugIn* plugIn = PlugIn(run)) {
            sheet.OwnedView.reset(Guarded(
                *plugIn, "making a sheet's view", run, Failure::Logged,
                [&] { return plugIn->CreateView(&sheet); }, static_cast<CSheetView*>(nullptr)));
        }
        return nullptr;
    }
    bool RendersSheets() const override { return true; }
    SheetExport ExportSheet(Run& run, COvInfoSheet& sheet, COvInfoAct& task,
                            std::string& out) override {
        return ForwardExportSheet(run, sheet, task, out);
    }
    bool PropertyChanged(Run& run, COvInfoObject&, COvInfoProp& prop) override {
        return ForwardPropertyChanged(run, prop);
    }
    bool ActiveSheetPropertyChanged(Run& run, COvInfoObject& object, COvInfoProp& prop) override {
        return CallPlugIn(run, "a property change", Failure::Logged, [&](CRepPlugIn& plugIn) {
            plugIn.m_pCurObj = &object;
            plugIn.ViewPropertyChanged(&prop);
        });
    }
};

// A plug-in's step type. Such a step may read anything, so the sources and the page are made
// ready before it; an export under it leaves each sheet to the plug-in, and its delivery is the
// plug-in's.
class PlugInTaskStep : public TaskStep, PlugInForwarding {
  public:
    PlugInTaskStep(int plugInIndex, std::string type)
        : PlugInForwarding(plugInIndex), type_(std::move(type)) {}

    void Run(orvik::Run& run, COvInfoAct& step, size_t) override { CallRunTask(run, &step); }
    bool NeedsData() const override { return true; }
    bool NeedsPage() const override { return true; }
    bool Delivers() const override { return true; }

    bool ExportsSheetsItself() const override { return true; }
    // The plug-in is asked about its own type, without a step.
    void ExportSheetItself(orvik::Run& run, COvInfoAct&) override { CallRunTask(run, nullptr); }
    bool Deliver(orvik::Run& run, COvInfoAct& step) override {
        CallPlugIn(run, "delivering", Failure::FailsRun,
                   [&](CRepPlugIn& plugIn) { plugIn.Deliver(&step); });
        return true;
    }
    bool PropertyChanged(orvik::Run& run, COvInfoObject&, COvInfoProp& prop) override {
        return ForwardPropertyChanged(run, prop);
    }

  private:
    void CallRunTask(orvik::Run& run, COvInfoAct* step) const {
        CallPlugIn(run, "running a task step", Failure::FailsRun,
                   [&](CRepPlugIn& plugIn) { plugIn.RunTask(type_.c_str(), step); });
    }

    std::string type_;
};

}  // namespace

void RegisterPlugInTypes(CRegistries& registries, int plugInIndex) {
    TypeRegistries& types = registries.Types;
    for (const auto& entry : registries.ComboValues) {
        if (entry->PlugInIndex != plugInIndex) continue;
        switch (entry->Id) {
            case ListId::DataSourceTypes:
                types.Kinds.Register(entry->Name, std::make_shared<PlugInSourceKind>(
                                                      plugInIndex, types.Kinds.Fallback()));
                break;
            case ListId::OutputTypes:
                types.Views.Register(entry->Name, std::make_shared<PlugInViewType>(plugInIndex));
                break;
            case ListId::TaskTypes:
                types.Steps.Register(entry->Name,
                                     std::make_shared<PlugInTaskStep>(plugInIndex, entry->Name));
                break;
            default:
                break;
        }
    }
}

}  // namespace orvik
