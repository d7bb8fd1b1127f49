// The parts of the plug-in interface that exist only for plug-ins: reading the open report and
// its objects through opaque pointers. The rest of the interface is the program's own functions,
// defined where they live (registration in the model, substitution in params, grids in render,
// the log in core).
#include <string>

#include "model/AppContext.h"
#include "model/OvInfoAct.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoProp.h"
#include "model/OvInfoSheet.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "orvik/PlugInApi.h"
#include "render/HtmlDocument.h"

// The interface's numbers are the model's; a change to one must not go unnoticed by the other.
static_assert(OrvikGroup::Task == GroupId::Task && OrvikGroup::DataSource == GroupId::DataSource &&
              OrvikGroup::Report == GroupId::Report &&
              OrvikGroup::GridHeaders == GroupId::GridHeaders &&
              OrvikGroup::GridData == GroupId::GridData);
static_assert(OrvikKind::Boolean == PropKind::Boolean && OrvikKind::Colour == PropKind::Colour &&
              OrvikKind::List == PropKind::List && OrvikKind::Text == PropKind::Text &&
              OrvikKind::Font == PropKind::Font && OrvikKind::File == PropKind::File);

namespace {

CReport* OpenReport() {
    orvik::AppContext* context = orvik::AppContext::Current();
    return context ? &context->Report() : nullptr;
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
    orvik::AppContext* context = orvik::AppContext::Current();
    return context ? context->Registries().HtmlFolder : std::string();
}

int OpenConnectDS(COvInfoDS* source, bool runQuery) {
    return source ? source->OpenConnectDS(runQuery) : 0;
}

int GetDSRowCount(COvInfoDS* source) {
    return source ? source->GetDSRowCount() : 0;
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
    return prop ? prop->PGetParsedValue(view) : std::string();
}

std::string GetDSTextRC(COvInfoDS* source, int row, int col) {
    return source ? source->GetDSTextRC(row, col) : std::string();
}
