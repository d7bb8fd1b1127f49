#include "design/PageRefresh.h"

#include <exception>

#include "core/Log.h"
#include "model/AppContext.h"
#include "model/Report.h"
#include "render/GridViews.h"
#include "tasks/HtmlExport.h"
#include "tasks/ReportPage.h"

namespace orvik::design {

void RefreshPage(CReport& report) {
    AppContext* context = AppContext::Current();
    if (!context || &context->Report() != &report) return;
    try {
        UpdateHTML();
    } catch (const std::exception& error) {
        UxError(error, "design", __LINE__, "The report page could not be built");
    }
    context->Front().ShowPage(PageFilePath());
}

void RefreshSheetsOf(CReport& report, const COvInfoDS& source) {
    AppContext* context = AppContext::Current();
    if (!context) return;
    RefreshGridViews(source);
    for (const auto& sheet : report.Sheets) {
        if (sheet->cDS.Value == source.Name.Value) context->Front().SheetRefreshed(*sheet);
    }
}

void RebuildPage(CReport& report) {
    for (const auto& source : report.DataSources) {
        try {
            if (source->OpenRSDS() == 1) RefreshSheetsOf(report, *source);
        } catch (const std::exception& error) {
            UxError(error, "design", __LINE__, source->Name.Value.c_str());
        }
    }
    RefreshPage(report);
}

}  // namespace orvik::design
