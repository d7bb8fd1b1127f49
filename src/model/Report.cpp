#include "model/Report.h"

#include <filesystem>

#include "core/AppContext.h"
#include "core/Paths.h"
#include "model/Registries.h"

CReport::~CReport() {
    ClearDS();
}

void CReport::ClearDS() {
    orvik::AppContext* context = orvik::AppContext::Current();
    CRegistries* registries = context ? &context->Registries() : nullptr;
    if (registries) {
        for (const auto& ds : DataSources) {
            registries->RemoveComboValue(ListId::DataSources, ds->Name.Value);
        }
    }
    CurrentDataSource = nullptr;
    Sheets.clear();
    DataSources.clear();
    Params.clear();
    Tasks.clear();
    ReportObject.reset();
    Loaded = false;
    if (registries) {
        registries->ReleaseReportProperties();
        std::error_code error;
        std::filesystem::remove(registries->TempFolder + "Ov.rpt", error);
        std::filesystem::remove(registries->TempFolder + "DBMM.mdb", error);
    }
}

void CReport::InitOVK(std::string_view path) {
    ClearDS();
    if (!path.empty())
        lastInitPath_ = path;
    CurrentDocPath = lastInitPath_;
    Modified = false;
    ReportObject = std::make_unique<COvInfoSheet>(GroupId::List);
    ReportObject->IsReportObject = true;
    orvik::AppContext* context = orvik::AppContext::Current();
    if (!context)
        return;
    CRegistries& registries = context->Registries();
    registries.ForgetLive(ReportObject->Props);
    ReportObject->Props.clear();
    registries.TruncateLiveToSettings();

    if (!registries.HtmlFolder.empty())
        orvik::RemoveFilesIn(registries.HtmlFolder);
    for (const char* name : {"HTMLayout", "HTMLPath"}) {
        ReportObject->Props.push_back(registries.AddProp(ReportObject.get(), GroupId::Report, name,
                                                         "", "", 0x24, PropKind::Text, 0, nullptr,
                                                         -1));
    }
}

std::vector<COvInfoAct*> CReport::FindTopLevelTasks(std::string_view name) const {
    std::vector<COvInfoAct*> found;
    for (const auto& task : Tasks) {
        if (!task->Parent && (name.empty() || task->Name.Value == name))
            found.push_back(task.get());
    }
    return found;
}
