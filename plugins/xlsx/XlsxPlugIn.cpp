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
#include "core/AtomicFile.h"
#include "orvik/PlugInBase.h"

namespace {

constexpr char kType[] = "XLSX";
constexpr char kDefaultFile[] = "Orvik.xlsx";

// One run of a step, for its log lines: they name the step, and the plug-in's file as their
// source (the path of the source file it was built from means nothing where it runs).
class Step {
  public:
    Step(std::string name, const std::string& plugInFile)
        : name_(std::move(name)), file_(plugInFile.empty() ? "Xlsx.rll" : plugInFile) {}

    const std::string& Name() const { return name_; }
    // Reports a failure of the step; the run then counts it as failed.
    void Error(const std::string& message, int line) const {
        UxError(("XLSX step " + name_ + ": " + message).c_str(), file_.c_str(), line);
    }
    // Adds a line to the log.
    void Log(const std::string& message, int line) const {
        UxSaveLog(message.c_str(), file_.c_str(), line);
    }

  private:
    std::string name_;
    std::string file_;
};

bool IsVisible(COvInfoSheet* sheet) {
    const std::string visible = GetObjPropS(sheet, "bVis");
    return visible.empty() || std::atoi(visible.c_str()) != 0;
}

// True when a "/"-separated component of `path` is "..".
bool LeadsUp(const std::string& path) {
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        const std::string part = path.substr(start, slash - start);
        if (part == "..") return true;
        if (slash == std::string::npos) return false;
        start = slash + 1;
    }
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// The file the step writes, or "" after reporting why it may not. A report written on Windows
// has backslashes; a parameter may change where in the folder the file goes, but never lead out
// of it: no ".." at all, and an absolute name only when the report itself wrote one.
std::string TargetOf(const Step& step, const std::string& stored) {
    std::string raw = stored.empty() ? kDefaultFile : stored;
    std::string path = DSetParam(raw.c_str());
    for (std::string* text : {&raw, &path}) {
        for (char& c : *text) {
            if (c == '\\') c = '/';
        }
    }
    if (path.empty() || path.back() == '/') {
        step.Error("the file name '" + path + "' names no file: nothing was written", __LINE__);
        return {};
    }
    if (LeadsUp(path)) {
        step.Error(
            "the file name '" + path + "' leads out of its folder with \"..\": nothing was written",
            __LINE__);
        return {};
    }
    const bool ownAbsolute = raw.front() == '/' || raw.rfind("~Dir~", 0) == 0;
    if (path.front() == '/' && !ownAbsolute) {
        step.Error(
            "the file name '" + path + "' became absolute through a parameter: nothing was written",
            __LINE__);
        return {};
    }
    return path.front() == '/' ? path : GetHtmlFolder() + path;
}

// Makes the folder `folder` of the step's file when it is missing, as pages get theirs: the file
// name has already been kept inside the places a workbook may go. False after reporting why not.
bool MakeFolder(const Step& step, const std::string& folder, const std::string& target) {
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) return true;
    if (!std::filesystem::create_directories(folder, error) && error) {
        step.Error("cannot make the folder " + folder + " for " + target + ": " + error.message(),
                   __LINE__);
        return false;
    }
    step.Log("XLSX step " + step.Name() + ": made the folder " + folder, __LINE__);
    return true;
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
    const std::string folder = FolderOf(target);
    if (!MakeFolder(step, folder, target)) return;
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
        const Step run(GetObjPropS(step, "Name"), m_FileName);
        const std::string target = TargetOf(run, GetObjPropS(step, "OutFile"));
        if (!target.empty()) WriteStep(run, target);
    }
};

}  // namespace

ORVIK_PLUGIN_ENTRY(XlsxPlugIn)
