// Making and finding the sheets' grid views.
#include "render/GridViews.h"

#include <memory>

#include "core/Run.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoSheet.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "render/GridView.h"

namespace {

// The plug-in whose view type the sheet has, or -1.
int PlugInViewIndex(orvik::Run& run, const COvInfoSheet& sheet) {
    const COvCombos* entry = run.Registries().FindComboValue(ListId::OutputTypes, sheet.tpVW.Value);
    return entry ? entry->PlugInIndex : -1;
}

}  // namespace

CGridView* CreateGridView(orvik::Run& run, COvInfoSheet& sheet) {
    DestroyGridView(sheet);
    if (COvInfoDS* source = sheet.GetDS(run.Report().DataSources)) source->OpenConnectDS(run, true);
    return MakeGridView(run, sheet);
}

CGridView* MakeGridView(orvik::Run& run, COvInfoSheet& sheet) {
    DestroyGridView(sheet);
    if (const int plugIn = PlugInViewIndex(run, sheet); plugIn >= 0) {
        // The plug-in's view is the sheet's, but not a grid: the page asks the plug-in for the
        // sheet's part instead.
        const orvik::TaskHandlers& handlers = run.Registries().Tasks;
        if (handlers.PlugInCreateView)
            sheet.OwnedView.reset(handlers.PlugInCreateView(run, plugIn, sheet));
        return nullptr;
    }
    auto view = std::make_unique<CGridView>(run, sheet);
    CGridView* made = view.get();
    sheet.OwnedView = std::move(view);
    sheet.View = made;
    made->OnRefreshRequest();
    return made;
}

CGridView* FindGridView(const COvInfoSheet& sheet) {
    return sheet.View;
}

void DestroyGridView(COvInfoSheet& sheet) {
    sheet.View = nullptr;
    sheet.OwnedView.reset();
}

void DestroyGridViews(CReport& report) {
    for (const auto& sheet : report.Sheets) DestroyGridView(*sheet);
}

void RefreshGridViews(orvik::Run& run, const COvInfoDS& source) {
    for (const auto& sheet : run.Report().Sheets) {
        if (sheet->cDS.Value != source.Name.Value) continue;
        if (CGridView* view = FindGridView(*sheet)) view->OnRefreshRequest();
    }
}
