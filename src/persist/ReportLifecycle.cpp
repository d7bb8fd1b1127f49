#include "persist/ReportLifecycle.h"

#include <string>

#include "core/LanguageTexts.h"
#include "model/AppContext.h"
#include "model/Report.h"
#include "persist/ReportFile.h"

bool ClearDS(CReport& report) {
    if (report.Modified &&
        orvik::ShowMessage(GetText(0x533), GetText(0x534), orvik::MessageBoxButtons::YesNo,
                           orvik::MessageBoxIcon::Question) == orvik::MessageBoxResult::Yes &&
        !SaveDocument(report)) {
        // The user wanted the changes kept and the save said why it could not: throwing the
        // report away now would lose exactly what was asked for.
        return false;
    }
    report.DestroyObjects();
    return true;
}

bool InitOVK(CReport& report, std::string_view path) {
    if (!ClearDS(report)) return false;
    report.StartNew(path);
    return true;
}

bool OnFileNew(CReport& report) {
    if (!InitOVK(report, GetText(0x523) + ".ovk")) return false;
    report.NewSheet();
    return true;
}

int OnFileOpen(CReport& report, std::string_view path) {
    if (!InitOVK(report, path)) return 0;
    report.CurrentDocPath = std::string(path);
    return SerializeXML(report, report.CurrentDocPath, 0);
}
