#include "persist/ReportLifecycle.h"

#include <string>

#include "core/LanguageTexts.h"
#include "core/Run.h"
#include "model/Report.h"
#include "persist/ReportFile.h"

bool ClearDS(orvik::Run& run) {
    CReport& report = run.Report();
    if (report.Modified &&
        orvik::ShowMessage(run, run.Language().GetText(0x533), run.Language().GetText(0x534),
                           orvik::MessageBoxButtons::YesNo,
                           orvik::MessageBoxIcon::Question) == orvik::MessageBoxResult::Yes &&
        !SaveDocument(run)) {
        // The user wanted the changes kept and the save said why it could not: throwing the
        // report away now would lose exactly what was asked for.
        return false;
    }
    report.DestroyObjects();
    return true;
}

bool InitOVK(orvik::Run& run, std::string_view path) {
    if (!ClearDS(run)) return false;
    run.Report().StartNew(path);
    run.ResetReportState();
    return true;
}

bool OnFileNew(orvik::Run& run) {
    if (!InitOVK(run, run.Language().GetText(0x523) + ".ovk")) return false;
    CReport& report = run.Report();
    const bool hadSource = !report.DataSources.empty();
    if (COvInfoSheet* sheet = report.NewSheet())
        ShowAddedSheet(run.Front(), report, *sheet, !hadSource && !report.DataSources.empty());
    return true;
}

int OnFileOpen(orvik::Run& run, std::string_view path) {
    if (!InitOVK(run, path)) return 0;
    run.Report().CurrentDocPath = std::string(path);
    return SerializeXML(run, run.Report().CurrentDocPath, 0);
}
