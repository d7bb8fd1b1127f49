#include "model/Report.h"

#include <algorithm>
#include <filesystem>

#include "core/LanguageTexts.h"

#include "core/Paths.h"
#include "model/AppContext.h"
#include "model/Registries.h"

CReport::~CReport() {
    DestroyObjects();
}

void CReport::DestroyObjects() {
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

void CReport::StartNew(std::string_view path) {
    DestroyObjects();
    if (!path.empty()) lastInitPath_ = path;
    CurrentDocPath = lastInitPath_;
    Modified = false;
    PlainParamsLogged = false;
    DateArithmeticLogged = false;
    WrittenFiles.clear();
    ReportObject = std::make_unique<COvInfoSheet>(GroupId::List);
    ReportObject->IsReportObject = true;
    orvik::AppContext* context = orvik::AppContext::Current();
    if (!context) return;
    CRegistries& registries = context->Registries();
    registries.ForgetLive(ReportObject->Props);
    ReportObject->Props.clear();
    registries.TruncateLiveToSettings();

    if (!registries.HtmlFolder.empty()) orvik::RemoveFilesIn(registries.HtmlFolder);
    // PlainParams "1": parameter values go into queries and commands as they stand, unquoted.
    // DateArithmetic "NoCarry": date expressions as old reports were written against them.
    for (const char* name : {"HTMLayout", "HTMLPath", "PlainParams", "DateArithmetic"}) {
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

COvInfoDS* CReport::NewDataSource(std::string_view name) {
    orvik::AppContext* context = orvik::AppContext::Current();
    if (!context) return nullptr;
    CRegistries& registries = context->Registries();
    COvCombos* entry = registries.AddComboValue(ListId::DataSources, name, name, -1);
    if (!entry) return nullptr;
    auto ds = std::make_unique<COvInfoDS>(GroupId::DataSource);
    ds->Name.Value = name;
    ds->tpDS.Value = ds->tpDS.DefaultValue;
    registries.PrepareNewCombo(ds->tpDS, ds->Props, true);
    DataSources.push_back(std::move(ds));
    return DataSources.back().get();
}

COvInfoSheet* CReport::NewSheet(std::string_view name) {
    orvik::AppContext* context = orvik::AppContext::Current();
    if (!context) return nullptr;
    auto sheet = std::make_unique<COvInfoSheet>(GroupId::List);
    sheet->Name.Value =
        name.empty() ? GetText(0x524) + " " + std::to_string(Sheets.size() + 1) : std::string(name);
    sheet->tpVW.Value = sheet->tpVW.DefaultValue;
    COvInfoSheet& added = *Sheets.emplace_back(std::move(sheet));
    context->Front().CreateViewDS(added);
    context->Registries().PrepareNewCombo(added.tpVW, added.Props, true);
    added.ShowProp();
    if (DataSources.empty()) {
        if (COvInfoDS* ds = NewDataSource(GetText(0x525) + " 1")) ds->ShowProp();
        context->Front().RebuildExplorer();
    }
    context->Front().ActivateSheet(added);
    return &added;
}

COvInfoSheet* CReport::CreateCopySheet(const COvInfoSheet& source) {
    orvik::AppContext* context = orvik::AppContext::Current();
    if (!context) return nullptr;
    CRegistries& registries = context->Registries();
    auto copy = std::make_unique<COvInfoSheet>(GroupId::List);
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
        registries.AppendedProperties.push_back(std::move(appended));
    }
    copy->Name.Value = source.Name.Value + " (" + GetText(0x523) + ")";
    COvInfoSheet& added = *Sheets.emplace_back(std::move(copy));
    context->Front().CreateViewDS(added);
    context->Front().RebuildExplorer();
    added.ShowProp();
    Modified = true;
    return &added;
}
