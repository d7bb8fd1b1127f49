// Making and finding the sheets' grid views.
#include "render/GridViews.h"

#include <memory>

#include "core/Run.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoSheet.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "model/ViewType.h"
#include "render/GridView.h"

namespace {

// The grid: the program's own view type, and what a sheet of a type nobody registered shows.
class GridViewType : public orvik::ViewType {
  public:
    CGridView* MakeView(orvik::Run& run, COvInfoSheet& sheet) override {
        auto view = std::make_unique<CGridView>(run, sheet);
        CGridView* made = view.get();
        sheet.OwnedView = std::move(view);
        sheet.View = made;
        made->OnRefreshRequest();
        return made;
    }
};

const orvik::ViewTypeRegistration<GridViewType> kGrid("GRID", /*fallback=*/true);

}  // namespace

CGridView* CreateGridView(orvik::Run& run, COvInfoSheet& sheet) {
    DestroyGridView(sheet);
    if (COvInfoDS* source = sheet.GetDS(run.Report().DataSources)) source->OpenConnectDS(run, true);
    return MakeGridView(run, sheet);
}

CGridView* MakeGridView(orvik::Run& run, COvInfoSheet& sheet) {
    DestroyGridView(sheet);
    return run.Registries().Types.Views.Find(sheet.tpVW.Value).MakeView(run, sheet);
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
