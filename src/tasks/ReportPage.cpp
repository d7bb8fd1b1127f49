#include "tasks/ReportPage.h"

#include "model/AppContext.h"
#include "model/DataSourceKind.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "render/GridView.h"
#include "render/GridViews.h"
#include "tasks/HtmlExport.h"

int UpdateHTML() {
    COvInfoAct task(GroupId::Task);
    task.AType.Value = "HTML";
    return task.DoExport();
}

void HTMLRefresh(CReport& report) {
    orvik::AppContext* context = orvik::AppContext::Current();
    if (!context) return;
    if (report.ReportObject) report.ReportObject->ShowProp();
    UpdateHTML();
    context->Front().ShowPage(PageFilePath());
}

// The queries run again on the connections the sources already hold: reconnecting would drop
// what a connection keeps (temporary tables, session settings) and go through a plug-in's open
// again. A source that never connected stays as it is until its connection string is edited.
void HTMLRebuild(CReport& report) {
    for (const auto& source : report.DataSources) {
        if (source->OpenRSDS() == 1) RefreshGridViews(*source);
    }
    HTMLRefresh(report);
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
