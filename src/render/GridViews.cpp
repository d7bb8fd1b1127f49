// Ownership and lookup of the sheets' grid views.
#include "render/GridViews.h"

#include <algorithm>
#include <map>
#include <memory>

#include "core/AppContext.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoSheet.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "render/GridView.h"

namespace {

// Keyed by the sheet's address. An entry is only believed when the sheet's View still points at
// its view: a sheet made later at the address of a destroyed one starts with no View.
std::map<const COvInfoSheet*, std::unique_ptr<CGridView>>& Views() {
    static std::map<const COvInfoSheet*, std::unique_ptr<CGridView>> views;
    return views;
}

// Drops the views whose sheets are no longer in the open report (deleted sheets, closed reports).
// Their sheets may be gone, so nothing of them is touched.
void SweepOrphans(const CReport& report) {
    std::erase_if(Views(), [&report](const auto& entry) {
        const auto& sheets = report.Sheets;
        return std::none_of(sheets.begin(), sheets.end(),
                            [&entry](const auto& sheet) { return sheet.get() == entry.first; });
    });
}

bool IsPlugInViewType(const COvInfoSheet& sheet) {
    orvik::AppContext* context = orvik::AppContext::Current();
    if (!context) return false;
    const COvCombos* entry =
        context->Registries().FindComboValue(ListId::OutputTypes, sheet.tpVW.Value);
    return entry && entry->PlugInIndex >= 0;
}

}  // namespace

CGridView* CreateGridView(COvInfoSheet& sheet) {
    orvik::AppContext* context = orvik::AppContext::Current();
    DestroyGridView(sheet);
    if (context) {
        SweepOrphans(context->Report());
        if (COvInfoDS* source = sheet.GetDS(context->Report().DataSources))
            source->OpenConnectDS(true);
    }
    if (IsPlugInViewType(sheet)) return nullptr;
    auto view = std::make_unique<CGridView>(sheet);
    CGridView* made = view.get();
    Views()[&sheet] = std::move(view);
    sheet.View = made;
    made->OnRefreshRequest();
    return made;
}

CGridView* FindGridView(const COvInfoSheet& sheet) {
    const auto found = Views().find(&sheet);
    if (found == Views().end() || sheet.View != found->second.get()) return nullptr;
    return found->second.get();
}

void DestroyGridView(COvInfoSheet& sheet) {
    const auto found = Views().find(&sheet);
    if (found == Views().end()) return;
    if (sheet.View == found->second.get()) sheet.View = nullptr;
    Views().erase(found);
}

void DestroyGridViews(CReport& report) {
    for (const auto& sheet : report.Sheets) DestroyGridView(*sheet);
    Views().clear();
}

void RefreshGridViews(const COvInfoDS& source) {
    orvik::AppContext* context = orvik::AppContext::Current();
    if (!context) return;
    for (const auto& sheet : context->Report().Sheets) {
        if (sheet->cDS.Value != source.Name.Value) continue;
        if (CGridView* view = FindGridView(*sheet)) view->OnRefreshRequest();
    }
}
