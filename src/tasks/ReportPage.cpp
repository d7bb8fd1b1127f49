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

void DoExportDS(const CReport& report, const COvInfoSheet& sheet, std::string& out) {
    const CGridView* view = FindGridView(sheet);
    const COvInfoDS* source = sheet.GetDS(report.DataSources);
    if (!view || !source) return;
    view->AppendPagePart(out, source->Kind().Page(), view->SheetNumber());
}
