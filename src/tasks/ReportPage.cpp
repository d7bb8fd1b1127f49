#include "tasks/ReportPage.h"

#include "core/Run.h"
#include "model/DataSourceKind.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "render/GridView.h"
#include "render/GridViews.h"
#include "tasks/HtmlExport.h"

int UpdateHTML(orvik::Run& run) {
    COvInfoAct task(&run.Registries(), GroupId::Task);
    task.AType.Value = "HTML";
    return DoExport(run, task);
}

void HTMLRefresh(orvik::Run& run) {
    CReport& report = run.Report();
    if (report.ReportObject) report.ReportObject->ShowProp(run.Front());
    UpdateHTML(run);
    run.Front().ShowPage(PageFilePath(run));
}

// The queries run again on the connections the sources already hold: reconnecting would drop
// what a connection keeps (temporary tables, session settings) and go through a plug-in's open
// again. A source that never connected stays as it is until its connection string is edited.
void HTMLRebuild(orvik::Run& run) {
    for (const auto& source : run.Report().DataSources) {
        if (source->OpenRSDS(run) == 1) RefreshGridViews(run, *source);
    }
    HTMLRefresh(run);
}

void DoExportDS(const CReport& report, const COvInfoSheet& sheet, std::string& out) {
    const CGridView* view = FindGridView(sheet);
    const COvInfoDS* source = sheet.GetDS(report.DataSources);
    if (!view || !source) return;
    switch (source->Kind().Page()) {
        case orvik::PageStyle::Table:
            view->MakeHTML(out, 0);
            break;
        case orvik::PageStyle::KpiList:
            view->MakeHTML(out, 1);
            break;
        case orvik::PageStyle::None:
            break;
    }
}
