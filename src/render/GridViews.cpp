// Making and finding the sheets' grid views.
#include "render/GridViews.h"

#include <memory>

#include "model/AppContext.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoSheet.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "render/GridView.h"

namespace {

// The plug-in whose view type the sheet has, or -1.
int PlugInViewIndex(const COvInfoSheet& sheet) {
    orvik::AppContext* context = orvik::AppContext::Current();
    if (!context) return -1;
    const COvCombos* entry =
        context->Registries().FindComboValue(ListId::OutputTypes, sheet.tpVW.Value);
    return entry ? entry->PlugInIndex : -1;
}

}  // namespace

CGridView* CreateGridView(COvInfoSheet& sheet) {
    orvik::AppContext* context = orvik::AppContext::Current();
    DestroyGridView(sheet);
    if (context) {
        if (COvInfoDS* source = sheet.GetDS(context->Report().DataSources))
            source->OpenConnectDS(true);
    }
    return MakeGridView(sheet);
}

CGridView* MakeGridView(COvInfoSheet& sheet) {
    DestroyGridView(sheet);
    if (const int plugIn = PlugInViewIndex(sheet); plugIn >= 0) {
        // The plug-in's view is the sheet's, but not a grid: the page asks the plug-in for the
        // sheet's part instead.
        orvik::AppContext* context = orvik::AppContext::Current();
        if (context->Tasks().PlugInCreateView)
            sheet.OwnedView.reset(context->Tasks().PlugInCreateView(plugIn, sheet));
        return nullptr;
    }
    auto view = std::make_unique<CGridView>(sheet);
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

void RefreshGridViews(const COvInfoDS& source) {
    orvik::AppContext* context = orvik::AppContext::Current();
    if (!context) return;
    for (const auto& sheet : context->Report().Sheets) {
        if (sheet->cDS.Value != source.Name.Value) continue;
        if (CGridView* view = FindGridView(*sheet)) view->OnRefreshRequest();
    }
}
