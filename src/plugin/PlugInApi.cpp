// The plug-in interface: the functions plug-ins call, each working on the run of the calling
// thread (plugin/PlugInRunScope.h) and handing over to the program's own functions, which take
// the run as an argument. Only the grid readers (GV_*, in render) need no run and live there.
#include <string>

#include <stdexcept>

#include "core/Log.h"
#include "core/PlugInCall.h"
#include "core/Run.h"
#include "model/OvInfoAct.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoProp.h"
#include "model/OvInfoSheet.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "orvik/PlugInApi.h"
#include "params/Formula.h"
#include "params/ParamSubstitution.h"
#include "plugin/PlugInRunScope.h"
#include "render/HtmlDocument.h"

// The interface's numbers are the model's; a change to one must not go unnoticed by the other.
static_assert(OrvikGroup::Task == GroupId::Task && OrvikGroup::DataSource == GroupId::DataSource &&
              OrvikGroup::Report == GroupId::Report &&
              OrvikGroup::GridHeaders == GroupId::GridHeaders &&
              OrvikGroup::GridData == GroupId::GridData);
static_assert(OrvikKind::Boolean == PropKind::Boolean && OrvikKind::Colour == PropKind::Colour &&
              OrvikKind::List == PropKind::List && OrvikKind::Text == PropKind::Text &&
              OrvikKind::Font == PropKind::Font && OrvikKind::File == PropKind::File);

namespace orvik {
namespace {
thread_local Run* callingRun = nullptr;
}

PlugInRunScope::PlugInRunScope(Run& run) : outer_(callingRun) {
    callingRun = &run;
}

PlugInRunScope::~PlugInRunScope() {
    callingRun = outer_;
}

}  // namespace orvik

namespace {

// The run the calling plug-in works for; null outside a call into a plug-in.
orvik::Run* CallingRun() {
    return orvik::callingRun;
}

CReport* OpenReport() {
    orvik::Run* run = CallingRun();
    return run && run->HasReport() ? &run->Report() : nullptr;
}

CRegistries* OpenRegistries() {
    orvik::Run* run = CallingRun();
    return run && run->HasReport() ? &run->Registries() : nullptr;
}

const char* OrEmpty(const char* text) {
    return text ? text : "";
}

std::string PropOf(const COvInfoObject* object, const char* name) {
    if (!object || !name) return {};
    const COvInfoProp* prop = object->GetPropByName(name);
    return prop ? prop->Value : std::string();
}

}  // namespace

int GetSheetCount() {
    const CReport* report = OpenReport();
    return report ? static_cast<int>(report->Sheets.size()) : 0;
}

COvInfoSheet* GetSheetAt(int index) {
    const CReport* report = OpenReport();
    if (!report || index < 0 || index >= static_cast<int>(report->Sheets.size())) return nullptr;
    return report->Sheets[static_cast<size_t>(index)].get();
}

COvInfoSheet* GetReportObject() {
    const CReport* report = OpenReport();
    return report ? report->ReportObject.get() : nullptr;
}

COvInfoDS* GetSheetDS(COvInfoSheet* sheet) {
    const CReport* report = OpenReport();
    return report && sheet ? sheet->GetDS(report->DataSources) : nullptr;
}

CGridView* GetSheetGridView(COvInfoSheet* sheet) {
    return sheet ? sheet->View : nullptr;
}

std::string GetObjPropS(const COvInfoSheet* sheet, const char* name) {
    return PropOf(sheet, name);
}

std::string GetObjPropS(const COvInfoDS* source, const char* name) {
    return PropOf(source, name);
}

std::string GetObjPropS(const COvInfoAct* step, const char* name) {
    return PropOf(step, name);
}

std::string GetPropName(const COvInfoProp* prop) {
    return prop ? prop->Name : std::string();
}

std::string GetPropValue(const COvInfoProp* prop) {
    return prop ? prop->Value : std::string();
}

bool GetSheetPlaceholderSize(COvInfoSheet* sheet, std::string& width, std::string& height) {
    width.clear();
    height.clear();
    const CReport* report = OpenReport();
    if (!report || !sheet || !report->ReportObject) return false;
    const std::string layout = report->ReportObject->Get("HTMLayout");
    if (layout.empty()) return false;
    for (size_t k = 0; k < report->Sheets.size(); ++k) {
        if (report->Sheets[k].get() != sheet) continue;
        // The same id the page export places the sheet's part at.
        const CHtmlDocument document(layout);
        const auto element = document.FindById("OrvikSheet" + std::to_string(k));
        if (!element) return false;
        width = document.GetStyleValue(*element, "width");
        height = document.GetStyleValue(*element, "height");
        return true;
    }
    return false;
}

std::string GetHtmlFolder() {
    const CRegistries* registries = OpenRegistries();
    return registries ? registries->HtmlFolder : std::string();
}

int OpenConnectDS(COvInfoDS* source, bool runQuery) {
    orvik::Run* run = CallingRun();
    return source && run ? source->OpenConnectDS(*run, runQuery) : 0;
}

int GetDSRowCount(COvInfoDS* source) {
    orvik::Run* run = CallingRun();
    return source && run ? source->GetDSRowCount(*run) : 0;
}

int GetDSColCount(COvInfoDS* source) {
    return source ? source->GetDSColCount() : 0;
}

int GetDSCol2Count(COvInfoDS* source) {
    return source ? source->GetDSCol2Count() : 0;
}

std::string GetDSHeader(COvInfoDS* source, int col) {
    return source ? source->GetDSHeader(col) : std::string();
}

std::string PGetParsedValue(COvInfoProp* prop, CSheetView* view) {
    orvik::Run* run = CallingRun();
    return prop && run ? PGetParsedValue(*run, *prop, view) : std::string();
}

std::string GetDSTextRC(COvInfoDS* source, int row, int col) {
    orvik::Run* run = CallingRun();
    return source && run ? source->GetDSTextRC(*run, row, col) : std::string();
}

std::string GetPropS(std::string_view name, const std::vector<COvInfoProp*>* list) {
    if (list) return PropValue(name, *list);
    const CRegistries* registries = OpenRegistries();
    return registries ? registries->SettingValue(name) : std::string();
}

std::string DSetParam(const char* text) {
    orvik::Run* run = CallingRun();
    if (!text) return {};
    return run ? DSetParam(*run, std::string_view(text)) : std::string(text);
}

std::string ParseValue(const char* expression) {
    orvik::Run* run = CallingRun();
    return run ? ParseValue(*run, expression) : std::string();
}

// --- registration ---

int AddPropGrpsInfo(const char* caption) {
    CRegistries* registries = OpenRegistries();
    return registries ? registries->AddPropGrpsInfo(OrEmpty(caption)) : -1;
}

int AddUserCombo() {
    CRegistries* registries = OpenRegistries();
    return registries ? registries->AddUserCombo() : -1;
}

COvCombos* AddUserComboValue(int listId, const char* name, const char* caption) {
    CRegistries* registries = OpenRegistries();
    return registries ? registries->AddComboValue(listId, OrEmpty(name), OrEmpty(caption),
                                                  registries->CurrentPlugInIndex())
                      : nullptr;
}

COvCombos* AddDSNType(const char* name, const char* caption) {
    return AddUserComboValue(ListId::DataSourceTypes, name, caption);
}
COvCombos* AddListType(const char* name, const char* caption) {
    return AddUserComboValue(ListId::OutputTypes, name, caption);
}
COvCombos* AddExportType(const char* name, const char* caption) {
    return AddUserComboValue(ListId::TaskTypes, name, caption);
}
COvCombos* AddExportFormat(const char* name, const char* caption) {
    return AddUserComboValue(ListId::ExportFormats, name, caption);
}

COvInfoProp* AddProp(const void* owner, int group, const char* name, const char* caption,
                     const char* defaultValue, unsigned flags, unsigned kind, unsigned listId,
                     COvCombos* selected) {
    CRegistries* registries = OpenRegistries();
    if (!registries) return nullptr;
    return registries->AddProp(owner, group, OrEmpty(name), OrEmpty(caption), OrEmpty(defaultValue),
                               flags, kind, listId, selected, registries->CurrentPlugInIndex());
}

// --- log and status ---

void UxSaveLog(const char* message, const char* sourceFile, int sourceLine) {
    if (orvik::Run* run = CallingRun())
        UxSaveLog(*run, std::string(OrEmpty(message)), sourceFile, sourceLine);
}

void UxError(const char* message, const char* sourceFile, int sourceLine) {
    orvik::Run* run = CallingRun();
    if (!run) return;
    // The source path a plug-in passes is where it was built, which means nothing on the machine
    // that runs it: the header names the plug-in's file instead.
    const std::string plugIn(orvik::CurrentPlugInFile());
    UxError(*run, std::runtime_error(OrEmpty(message)),
            plugIn.empty() ? sourceFile : plugIn.c_str(), sourceLine);
}

void SetPaneTextStatBar(int pane, const char* text) {
    if (orvik::Run* run = CallingRun()) run->Front().SetPaneText(pane, OrEmpty(text));
}
