#include "tasks/SheetPart.h"

#include "core/MarkupEscape.h"
#include "core/Run.h"
#include "model/DataSourceKind.h"
#include "model/OvInfoAct.h"
#include "model/Registries.h"
#include "model/Report.h"

namespace orvik {

SheetRenderer* SheetRendererOf(Run& run, const COvInfoSheet& sheet, const COvInfoDS* ds) {
    const TypeRegistries& types = run.Registries().Types;
    SheetRenderer* view = &types.Views.Find(sheet.tpVW.Value);
    if (view->RendersSheets()) return view;
    SheetRenderer* kind = ds ? &ds->Kind() : nullptr;
    return kind && kind->RendersSheets() ? kind : nullptr;
}

std::optional<std::string> SheetPartPage(Run& run, COvInfoSheet& sheet) {
    const COvInfoDS* ds = sheet.GetDS(run.Report().DataSources);
    SheetRenderer* renderer = SheetRendererOf(run, sheet, ds);
    if (!renderer) return std::nullopt;
    // The step an HTML export of the page would be; the part does not depend on its settings.
    COvInfoAct step(&run.Registries(), GroupId::Task);
    step.AType.Value = "HTML";
    std::string part;
    if (renderer->ExportSheet(run, sheet, step, part) != SheetExport::Done) return std::nullopt;
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" +
           EscapeMarkup(sheet.Name.Value) +
           "</title><style>body{margin:12px;font-family:sans-serif}</style></head><body>\n" + part +
           "</body></html>\n";
}

}  // namespace orvik
