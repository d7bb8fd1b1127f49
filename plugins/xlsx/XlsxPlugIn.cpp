// The Excel workbook plug-in's descriptor and its task step. A step of type "XLSX" writes every
// visible grid sheet of the report into the workbook its OutFile names: relative to the HTML work
// folder, written beside its final name and renamed into place, so a reader (or a mail step that
// attaches it) never sees half a workbook.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "XlsxWorkbook.h"
#include "orvik/RepPlugIn.h"

namespace {

constexpr char kType[] = "XLSX";
constexpr char kDefaultFile[] = "Orvik.xlsx";

void Error(const std::string& message) {
    UxError(message.c_str(), __FILE__, __LINE__);
}

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
std::string TargetOf(const std::string& step, const std::string& stored) {
    std::string raw = stored.empty() ? kDefaultFile : stored;
    std::string path = DSetParam(raw.c_str());
    for (std::string* text : {&raw, &path}) {
        for (char& c : *text) {
            if (c == '\\') c = '/';
        }
    }
    if (path.empty() || path.back() == '/') {
        Error("XLSX step " + step + ": the file name '" + path +
              "' names no file: nothing was written");
        return {};
    }
    if (LeadsUp(path)) {
        Error("XLSX step " + step + ": the file name '" + path +
              "' leads out of its folder with \"..\": nothing was written");
        return {};
    }
    const bool ownAbsolute = raw.front() == '/' || raw.rfind("~Dir~", 0) == 0;
    if (path.front() == '/' && !ownAbsolute) {
        Error("XLSX step " + step + ": the file name '" + path +
              "' became absolute through a parameter: nothing was written");
        return {};
    }
    return path.front() == '/' ? path : GetHtmlFolder() + path;
}

// Writes the workbook of step `step` to `target` through a temporary file beside it.
void WriteStep(const std::string& step, const std::string& target) {
    std::vector<xlsx::SheetSource> sheets;
    for (int i = 0; i < GetSheetCount(); ++i) {
        COvInfoSheet* sheet = GetSheetAt(i);
        CGridView* grid = GetSheetGridView(sheet);
        // A plug-in's view (a chart, say) has no cells to write.
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
    if (sheets.empty()) {
        Error("XLSX step " + step + ": the report has no visible grid sheet: " + target +
              " was not written");
        return;
    }
    const std::string folder = FolderOf(target);
    const size_t slash = target.rfind('/');
    std::string temporary =
        folder + "." + target.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0) {
        Error("XLSX step " + step + ": cannot write " + target + ": " + std::strerror(errno));
        return;
    }
    close(descriptor);
    xlsx::WorkbookSummary summary;
    std::string failure = xlsx::WriteWorkbook(temporary, folder, sheets, summary);
    if (failure.empty() && std::rename(temporary.c_str(), target.c_str()) != 0)
        failure = std::strerror(errno);
    if (!failure.empty()) {
        unlink(temporary.c_str());
        Error("XLSX step " + step + ": cannot write " + target + ": " + failure);
        return;
    }
    // mkstemp made it for this user alone; a workbook is as readable as any page written here.
    const mode_t mask = umask(0);
    umask(mask);
    chmod(target.c_str(), 0666 & ~mask);
    for (const std::string& warning : summary.Warnings) Error("XLSX step " + step + ": " + warning);
    UxSaveLog(("XLSX " + target + ": " + std::to_string(summary.Sheets) + " sheets, " +
               std::to_string(summary.Rows) + " rows")
                  .c_str(),
              __FILE__, __LINE__);
}

class XlsxPlugIn : public CRepPlugIn {
  public:
    XlsxPlugIn() {
        m_Name = "Excel Workbook";
        m_Version = "1.0";
        m_Note = "Writes the report's sheets into an Excel workbook";
    }

    void Init() override {
        COvCombos* type = AddExportType(kType, "Excel Workbook");
        AddProp(type, OrvikGroup::Task, "OutFile", "Out File", kDefaultFile, 0, OrvikKind::Text, 0,
                nullptr);
        AddExportFormat(kType, "Excel Workbook");
    }
    // The page shows the program's own rendering of every sheet.
    int ExportSheet(COvInfoSheet*, COvInfoAct*, std::string&) override { return 2; }
    void RunTask(const char*, COvInfoAct* step) override {
        // Without a step there is no file name: an export only asks about the format.
        if (!step) return;
        const std::string name = GetObjPropS(step, "Name");
        const std::string target = TargetOf(name, GetObjPropS(step, "OutFile"));
        if (!target.empty()) WriteStep(name, target);
    }
    void Deliver(COvInfoAct*) override {}
    int OpenDataSource(COvInfoSheet*, COvInfoDS*) override { return 0; }
    CSheetView* CreateView(COvInfoSheet*) override { return nullptr; }
    void ViewPropertyChanged(COvInfoProp*) override {}
    void PropertyChanged(COvInfoProp*) override {}
};

}  // namespace

ORVIK_PLUGIN_ENTRY(XlsxPlugIn)
