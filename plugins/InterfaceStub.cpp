// The interface library plug-ins link against: the plug-in interface and nothing else, under the
// core library's name. A plug-in that uses anything of the program beyond the interface fails to
// link here; at run time the loader resolves the same names in the real core library. None of
// these bodies ever runs.
#include "orvik/PlugInApi.h"

COvCombos* AddDSNType(const char*, const char*) {
    return nullptr;
}
COvCombos* AddListType(const char*, const char*) {
    return nullptr;
}
COvCombos* AddExportType(const char*, const char*) {
    return nullptr;
}
COvCombos* AddExportFormat(const char*, const char*) {
    return nullptr;
}
int AddUserCombo() {
    return 0;
}
COvCombos* AddUserComboValue(int, const char*, const char*) {
    return nullptr;
}
int AddPropGrpsInfo(const char*) {
    return 0;
}
COvInfoProp* AddProp(const void*, int, const char*, const char*, const char*, unsigned, unsigned,
                     unsigned, COvCombos*) {
    return nullptr;
}
int GetSheetCount() {
    return 0;
}
COvInfoSheet* GetSheetAt(int) {
    return nullptr;
}
COvInfoDS* GetSheetDS(COvInfoSheet*) {
    return nullptr;
}
CGridView* GetSheetGridView(COvInfoSheet*) {
    return nullptr;
}
std::string GetObjPropS(const COvInfoSheet*, const char*) {
    return {};
}
std::string GetObjPropS(const COvInfoDS*, const char*) {
    return {};
}
std::string GetObjPropS(const COvInfoAct*, const char*) {
    return {};
}
COvInfoSheet* GetReportObject() {
    return nullptr;
}
std::string GetPropName(const COvInfoProp*) {
    return {};
}
std::string GetPropValue(const COvInfoProp*) {
    return {};
}
std::string GetHtmlFolder() {
    return {};
}
std::string GetPropS(std::string_view, const std::vector<COvInfoProp*>*) {
    return {};
}
int OpenConnectDS(COvInfoDS*, bool) {
    return 0;
}
int GetDSRowCount(COvInfoDS*) {
    return 0;
}
int GetDSColCount(COvInfoDS*) {
    return 0;
}
int GetDSCol2Count(COvInfoDS*) {
    return 0;
}
std::string GetDSHeader(COvInfoDS*, int) {
    return {};
}
std::string GetDSTextRC(COvInfoDS*, int, int) {
    return {};
}
int GV_getRowCount(CGridView*) {
    return 0;
}
std::string GV_getRowCol(CGridView*, int, int) {
    return {};
}
int GV_getColCount(CGridView*) {
    return 0;
}
int GV_getFixedRowCount(CGridView*) {
    return 0;
}
int GV_getFixedColCount(CGridView*) {
    return 0;
}
std::string GV_getCellText(CGridView*, int, int) {
    return {};
}
bool GV_isRightAligned(CGridView*, int, int) {
    return false;
}
int GV_getColWidth(CGridView*, int) {
    return 0;
}
std::string DSetParam(const char*) {
    return {};
}
std::string ParseValue(const char*) {
    return {};
}
std::string PGetParsedValue(COvInfoProp*, CSheetView*) {
    return {};
}
void UxSaveLog(const char*, const char*, int) {}
void UxError(const char*, const char*, int) {}
void SetPaneTextStatBar(int, const char*) {}
bool GetSheetPlaceholderSize(COvInfoSheet*, std::string&, std::string&) {
    return false;
}
