#include "design/PageRefresh.h"
#include "design/DesignerWindows.h"

#include <exception>

#include "core/Log.h"
#include "core/Run.h"
#include "model/Report.h"
#include "render/GridViews.h"
#include "tasks/HtmlExport.h"
#include "tasks/ReportPage.h"

namespace orvik::design {

void RefreshPage(orvik::Run& run) {
    try {
        UpdateHTML(run);
    } catch (const std::exception& error) {
        UxError(run, error, "design", __LINE__, "The report page could not be built");
    }
    run.Front().ShowPage(PageFilePath(run));
}

void RefreshSheetsOf(orvik::Run& run, const COvInfoDS& source) {
    RefreshGridViews(run, source);
    for (const auto& sheet : run.Report().Sheets) {
        if (sheet->cDS.Value == source.Name.Value) WindowsOf(run).SheetRefreshed(*sheet);
    }
}

void RebuildPage(orvik::Run& run) {
    for (const auto& source : run.Report().DataSources) {
        try {
            if (source->OpenRSDS(run) == 1) RefreshSheetsOf(run, *source);
        } catch (const std::exception& error) {
            UxError(run, error, "design", __LINE__, source->Name.Value.c_str());
        }
    }
    RefreshPage(run);
}

}  // namespace orvik::design
