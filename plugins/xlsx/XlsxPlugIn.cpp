// The Excel workbook plug-in's descriptor and its task step. A step of type "XLSX" writes every
// visible grid sheet of the report into the workbook its OutFile names: relative to the HTML work
// folder, written beside its final name and renamed into place, so a reader (or a mail step that
// attaches it) never sees half a workbook.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "LibraryMessages.h"
#include "XlsxWorkbook.h"
#include "common/PlugInStep.h"
#include "core/AtomicFile.h"
#include "orvik/PlugInBase.h"

namespace {

constexpr char kType[] = "XLSX";
constexpr char kDefaultFile[] = "Orvik.xlsx";

using Step = plugin::PlugInStep;

bool IsVisible(COvInfoSheet* sheet) {
    const std::string visible = GetObjPropS(sheet, "bVis");
    return visible.empty() || std::atoi(visible.c_str()) != 0;
}

// The sheets a workbook gets: every visible one with a grid (a plug-in's view, a chart say, has
// no cells to write).
std::vector<xlsx::SheetSource> SheetsToWrite() {
    std::vector<xlsx::SheetSource> sheets;
    for (int i = 0; i < GetSheetCount(); ++i) {
        COvInfoSheet* sheet = GetSheetAt(i);
        CGridView* grid = GetSheetGridView(sheet);
        if (!sheet || !IsVisible(sheet) || !grid || GV_getRowCount(grid) < 0) continue;
        xlsx::SheetSource& source = sheets.emplace_back();
        source.Name = GetObjPropS(sheet, "Name");
        source.Title = DSetParam(GetObjPropS(sheet, "Title").c_str());
        source.Grid = grid;
        source.HeaderFont = GetObjPropS(sheet, "hF");
        source.HeaderColour = GetObjPropS(sheet, "hBC");
        source.DataFont = GetObjPropS(sheet, "gF");
        source.DataColour = GetObjPropS(sheet, "gBC");
        COvInfoDS* data = GetSheetDS(sheet);
        source.DropLastColumn = data && GetObjPropS(data, "tpDS") == "KPI";
    }
    return sheets;
}

// The system's reason for a failure, as libxlsxwriter printed it (its error codes say only which
// kind of write failed): " (No space left on device)", or "".
std::string SystemReason(const std::vector<std::string>& said) {
    constexpr std::string_view kReason = "System error = ";
    for (auto line = said.rbegin(); line != said.rend(); ++line) {
        const size_t at = line->find(kReason);
        if (at != std::string::npos) return " (" + line->substr(at + kReason.size()) + ")";
    }
    return {};
}

// Writes the workbook of `step` to `target` through a temporary file beside it.
void WriteStep(const Step& step, const std::string& target) {
    const std::vector<xlsx::SheetSource> sheets = SheetsToWrite();
    if (sheets.empty()) {
        step.Error("the report has no visible grid sheet: " + target + " was not written",
                   __LINE__);
        return;
    }
    const std::string folder = plugin::FolderOf(target);
    if (!step.MakeFolderOf(target)) return;
    orvik::AtomicFile file(target);
    if (!file.Stream()) {
        step.Error("cannot write " + target + ": " + file.Error(), __LINE__);
        return;
    }
    xlsx::WorkbookSummary summary;
    std::string failure;
    std::vector<std::string> said;
    {
        const xlsx::LibraryMessages messages;
        failure = xlsx::WriteWorkbook(file.TemporaryPath(), folder, sheets, summary);
        said = messages.Lines();
    }
    for (const std::string& line : said)
        step.Log("XLSX step " + step.Name() + ": libxlsxwriter: " + line, __LINE__);
    if (!failure.empty()) failure += SystemReason(said);
    if (failure.empty() && !file.Commit()) failure = file.Error();
    if (!failure.empty()) {
        step.Error("cannot write " + target + ": " + failure, __LINE__);
        return;
    }
    for (const std::string& warning : summary.Warnings) step.Error(warning, __LINE__);
    step.Log("XLSX " + target + ": " + std::to_string(summary.Sheets) + " sheets, " +
                 std::to_string(summary.Rows) + " rows",
             __LINE__);
}

class XlsxPlugIn : public CRepPlugInBase {
  public:
    XlsxPlugIn()
        : CRepPlugInBase("Excel Workbook", "1.0",
                         "Writes the report's sheets into an Excel workbook") {}

    // Sheets are rendered by the program: the base's ExportSheet says so.
    void Init() override {
        COvCombos* type = AddExportType(kType, "Excel Workbook");
        AddProp(type, OrvikGroup::Task, "OutFile", "Out File", kDefaultFile, 0, OrvikKind::Text, 0,
                nullptr);
        AddExportFormat(kType, "Excel Workbook");
    }
    void RunTask(const char*, COvInfoAct* step) override {
        // Without a step there is no file name: an export only asks about the format.
        if (!step) return;
        const Step run(kType, GetObjPropS(step, "Name"), m_FileName, "Xlsx.rll");
        const std::string target = run.OutFilePath(GetObjPropS(step, "OutFile"), kDefaultFile);
        if (!target.empty()) WriteStep(run, target);
    }
};

}  // namespace

ORVIK_PLUGIN_ENTRY(XlsxPlugIn)
