#include "model/Report.h"

#include <algorithm>
#include <filesystem>

#include "core/FrontEnd.h"
#include "core/Paths.h"
#include "model/Registries.h"

CReport::~CReport() {
    DestroyObjects();
}

void CReport::DestroyObjects() {
    for (const auto& ds : DataSources) {
        registries_.RemoveComboValue(ListId::DataSources, ds->Name.Value);
    }
    CurrentDataSource = nullptr;
    Sheets.clear();
    DataSources.clear();
    Params.clear();
    Tasks.clear();
    ReportObject.reset();
    Loaded = false;
    registries_.ReleaseReportProperties();
    std::error_code error;
    std::filesystem::remove(registries_.TempFolder + "Ov.rpt", error);
    std::filesystem::remove(registries_.TempFolder + "DBMM.mdb", error);
}

void CReport::StartNew(std::string_view path) {
    DestroyObjects();
    if (!path.empty()) lastInitPath_ = path;
    CurrentDocPath = lastInitPath_;
    Modified = false;
    ReportObject = std::make_unique<COvInfoSheet>(&registries_, GroupId::List);
    ReportObject->IsReportObject = true;
    registries_.ForgetLive(ReportObject->Props);
    ReportObject->Props.clear();
    registries_.TruncateLiveToSettings();

    if (!registries_.HtmlFolder.empty()) orvik::RemoveFilesIn(registries_.HtmlFolder);
    // PlainParams "1": parameter values go into queries and commands as they stand, unquoted.
    // DateArithmetic "NoCarry": date expressions as old reports were written against them.
    for (const char* name : {"HTMLayout", "HTMLPath", "PlainParams", "DateArithmetic"}) {
        ReportObject->Props.push_back(registries_.AddProp(ReportObject.get(), GroupId::Report, name,
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

COvInfoDS* CReport::NewDataSource(std::string_view name) {
    COvCombos* entry = registries_.AddComboValue(ListId::DataSources, name, name, -1);
    if (!entry) return nullptr;
    auto ds = std::make_unique<COvInfoDS>(&registries_, GroupId::DataSource);
    ds->Name.Value = name;
    ds->tpDS.Value = ds->tpDS.DefaultValue;
    registries_.PrepareNewCombo(ds->tpDS, ds->Props, true);
    DataSources.push_back(std::move(ds));
    return DataSources.back().get();
}

COvInfoSheet* CReport::NewSheet(std::string_view name) {
    auto sheet = std::make_unique<COvInfoSheet>(&registries_, GroupId::List);
    sheet->Name.Value = name.empty()
                            ? registries_.Text(0x524) + " " + std::to_string(Sheets.size() + 1)
                            : std::string(name);
    sheet->tpVW.Value = sheet->tpVW.DefaultValue;
    COvInfoSheet& added = *Sheets.emplace_back(std::move(sheet));
    registries_.PrepareNewCombo(added.tpVW, added.Props, true);
    if (DataSources.empty()) NewDataSource(registries_.Text(0x525) + " 1");
    return &added;
}

void ShowAddedSheet(orvik::FrontEnd& front, CReport& report, COvInfoSheet& sheet,
                    bool sourceAdded) {
    front.CreateViewDS(sheet);
    sheet.ShowProp(front);
    if (sourceAdded && !report.DataSources.empty()) {
        report.DataSources.front()->ShowProp(front, report);
        front.RebuildExplorer();
    }
    front.ActivateSheet(sheet);
}

COvInfoSheet* CReport::CreateCopySheet(const COvInfoSheet& source) {
    auto copy = std::make_unique<COvInfoSheet>(&registries_, GroupId::List);
    COvInfoProp* own[] = {&copy->Name, &copy->cDS, &copy->tpVW, &copy->bVis};
    const COvInfoProp* sourceOwn[] = {&source.Name, &source.cDS, &source.tpVW, &source.bVis};
    for (int i = 0; i < 4; ++i) {
        own[i]->CopyProp(*sourceOwn[i], 0);
        own[i]->Owner = copy.get();
    }
    for (const COvInfoProp* prop : source.Props) {
        if (std::find(std::begin(sourceOwn), std::end(sourceOwn), prop) != std::end(sourceOwn)) {
            continue;
        }
        auto appended = std::make_unique<COvInfoProp>(*prop, 1);
        appended->Owner = &copy->tpVW;
        copy->Props.push_back(appended.get());
        registries_.AppendedProperties.push_back(std::move(appended));
    }
    copy->Name.Value = source.Name.Value + " (" + registries_.Text(0x523) + ")";
    COvInfoSheet& added = *Sheets.emplace_back(std::move(copy));
    Modified = true;
    return &added;
}
