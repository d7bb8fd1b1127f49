#include "persist/ReportLifecycle.h"

#include <string>

#include "app/LanguageTexts.h"
#include "core/AppContext.h"
#include "model/Report.h"
#include "persist/ReportFile.h"

void ClearDS(CReport& report) {
    if (report.Modified &&
        orvik::ShowMessage(GetText(0x533), GetText(0x534), orvik::MessageBoxButtons::YesNo,
                           orvik::MessageBoxIcon::Question) == orvik::MessageBoxResult::Yes) {
        SaveDocument(report);
    }
    report.DestroyObjects();
}

void InitOVK(CReport& report, std::string_view path) {
    ClearDS(report);
    report.StartNew(path);
}

void OnFileNew(CReport& report) {
    InitOVK(report, GetText(0x523) + ".ovk");
    report.NewSheet();
}

int OnFileOpen(CReport& report, std::string_view path) {
    InitOVK(report, path);
    report.CurrentDocPath = std::string(path);
    return SerializeXML(report, report.CurrentDocPath, "", 0);
}
