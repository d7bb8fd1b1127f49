// The PDF plug-in's descriptor and its two steps. "PDF" prints the report's page, as the run has
// just written it to the work folder, into a PDF file; "PNG" photographs it. Both render in a
// headless browser (HeadlessBrowser) that is offline and may read only the folders a report may
// take pictures from, and both put their file in place whole or not at all, as every output is.
#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "HeadlessBrowser.h"
#include "PagePrinter.h"
#include "PdfMetadata.h"
#include "PrintSettings.h"
#include "ResourcePolicy.h"
#include "common/PlugInStep.h"
#include "core/AtomicFile.h"
#include "orvik/PlugInBase.h"

namespace {

using Step = plugin::PlugInStep;
using pdf::HeadlessBrowser;
constexpr char kPlugInFile[] = "Pdf.rll";
constexpr int kDefaultTimeout = 3600;
// Refused requests named one by one in the log; a page that asks for more gets a count.
constexpr size_t kRefusedNamed = 10;

// The folder this library was loaded from, which is the program folder.
std::string ProgramFolder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&ProgramFolder), &info) == 0 || !info.dli_fname) return {};
    return std::filesystem::path(info.dli_fname).parent_path().string();
}

// The entries of a ";"-list, blanks around each trimmed, empty ones left out.
std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        std::string entry = list.substr(start, end - start);
        entry.erase(0, entry.find_first_not_of(" \t"));
        entry.erase(entry.find_last_not_of(" \t") + 1);
        if (!entry.empty()) entries.push_back(entry);
        start = end + 1;
    }
    return entries;
}

// What the page may load: the work folder it lies in, the program folder (its Images), the
// layout's folder and those of the setting PictureFolders, as for mail and upload.
pdf::ResourcePolicy PagePolicy() {
    std::vector<std::string> folders = {GetHtmlFolder(), ProgramFolder()};
    if (const std::string layout = GetObjPropS(GetReportObject(), "HTMLPath"); !layout.empty())
        folders.push_back(layout);
    for (const std::string& folder : SplitList(GetPropS("PictureFolders")))
        folders.push_back(folder);
    return pdf::ResourcePolicy(folders);
}

// Seconds the renderer may take: the step's Timeout, else the command steps' CmdTimeout; 0 is
// no limit. A value that is not a number is refused rather than read as "no limit".
bool RendererTimeout(const Step& step, COvInfoAct* task, HeadlessBrowser::Clock::time_point& end) {
    std::string text = GetObjPropS(task, "Timeout");
    const char* source = "Timeout";
    if (text.empty()) {
        text = GetPropS("CmdTimeout");
        source = "the setting CmdTimeout";
    }
    long seconds = kDefaultTimeout;
    if (!text.empty()) {
        char* stop = nullptr;
        seconds = std::strtol(text.c_str(), &stop, 10);
        if (*stop != '\0' || seconds < 0) {
            step.Error(std::string(source) + " '" + text + "' is not a number of seconds",
                       __LINE__);
            return false;
        }
    }
    end = seconds == 0 ? HeadlessBrowser::Clock::time_point::max()
                       : HeadlessBrowser::Clock::now() + std::chrono::seconds(seconds);
    return true;
}

// The step's layout properties, or false after saying which one cannot be read.
bool ReadSettings(const Step& step, COvInfoAct* task, pdf::PrintSettings& settings) {
    if (const std::string paper = GetObjPropS(task, "PaperSize");
        !paper.empty() && !pdf::ParsePaper(paper, settings.PaperSize)) {
        step.Error("PaperSize '" + paper + "' is none of A4, A3, Letter, Legal", __LINE__);
        return false;
    }
    if (const std::string turn = GetObjPropS(task, "Orientation");
        !pdf::ParseOrientation(turn, settings.Turn)) {
        step.Error("Orientation '" + turn + "' is none of portrait, landscape, auto", __LINE__);
        return false;
    }
    std::string margins = GetObjPropS(task, "Margins");
    if (margins.empty()) margins = "15mm";
    if (!pdf::ParseMargins(margins, settings.Edges)) {
        step.Error("Margins '" + margins +
                       "' is not one to four lengths of at most 100mm (\"15mm\", \"1cm 2cm\")",
                   __LINE__);
        return false;
    }
    const auto substitute = [](const std::string& text) { return DSetParam(text.c_str()); };
    if (const std::string header = GetObjPropS(task, "HeaderText"); !header.empty())
        settings.HeaderTemplate = pdf::RunningTextTemplate(header, settings.Edges, substitute);
    if (const std::string footer = GetObjPropS(task, "FooterText"); !footer.empty())
        settings.FooterTemplate = pdf::RunningTextTemplate(footer, settings.Edges, substitute);
    settings.FitWidth = GetObjPropS(task, "FitWidth") != "0";
    settings.Tagged = GetObjPropS(task, "Tagged") != "0";
    return true;
}

void LogRefused(const Step& step, const std::vector<std::string>& refused) {
    for (size_t i = 0; i < refused.size() && i < kRefusedNamed; ++i)
        step.Log(step.Type() + " step " + step.Name() + ": the page asked for " + refused[i] +
                     ", which is outside the folders a page may load from (see the setting "
                     "PictureFolders); it was left out",
                 __LINE__);
    if (refused.size() > kRefusedNamed)
        step.Log(step.Type() + " step " + step.Name() + ": and " +
                     std::to_string(refused.size() - kRefusedNamed) + " more such requests",
                 __LINE__);
}

bool WriteWhole(const Step& step, const std::string& target, const std::string& bytes) {
    if (!step.MakeFolderOf(target)) return false;
    orvik::AtomicFile file(target);
    if (!file.Stream()) {
        step.Error("cannot write " + target + ": " + file.Error(), __LINE__);
        return false;
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.Stream()) != bytes.size())
        file.NoteWriteError();
    if (!file.Commit()) {
        step.Error("cannot write " + target + ": " + file.Error(), __LINE__);
        return false;
    }
    return true;
}

// Renders the run's page with `render` in a fresh browser; false after reporting why not.
template <typename Render>
bool RenderPage(const Step& step, COvInfoAct* task, const std::string& page, Render&& render) {
    std::error_code missing;
    if (!std::filesystem::is_regular_file(page, missing)) {
        step.Error("there is no page to render (" + page + " was not written)", __LINE__);
        return false;
    }
    HeadlessBrowser::Clock::time_point deadline;
    if (!RendererTimeout(step, task, deadline)) return false;
    try {
        const pdf::ResourcePolicy policy = PagePolicy();
        pdf::HeadlessBrowser browser(pdf::HeadlessBrowser::FindRenderer(), deadline);
        pdf::PagePrinter printer(browser, policy, page);
        return render(printer);
    } catch (const pdf::BrowserError& error) {
        step.Error(error.what(), __LINE__);
        return false;
    }
}

void RunPdfStep(const Step& step, COvInfoAct* task) {
    const std::string target = step.OutFilePath(GetObjPropS(task, "OutFile"), "Orvik.pdf");
    pdf::PrintSettings settings;
    if (target.empty() || !ReadSettings(step, task, settings)) return;
    RenderPage(step, task, GetHtmlFolder() + "Orvik.htm", [&](pdf::PagePrinter& printer) {
        pdf::PrintedPage printed = printer.Pdf(settings);
        LogRefused(step, printed.Refused);
        std::string subject = DSetParam(GetObjPropS(task, "Subject").c_str());
        if (subject.empty()) subject = step.Name();
        const std::string title = printed.Title.empty() ? step.Name() : printed.Title;
        if (!pdf::SetDocumentInfo(printed.Bytes, title, subject))
            step.Log("PDF step " + step.Name() + ": the title and subject could not be set",
                     __LINE__);
        if (!WriteWhole(step, target, printed.Bytes)) return false;
        step.Log(
            "PDF " + target + ": " + std::to_string(printed.Pages) + " pages" +
                (printed.Landscape ? ", landscape" : "") +
                (printed.Scale < 1
                     ? ", scaled to " + std::to_string(static_cast<int>(printed.Scale * 100)) + "%"
                     : ""),
            __LINE__);
        return true;
    });
}

// A whole number property within bounds, or false after saying what it accepts.
bool ReadNumber(const Step& step, COvInfoAct* task, const char* name, double fallback, double low,
                double high, double& out) {
    const std::string text = GetObjPropS(task, name);
    out = fallback;
    if (text.empty()) return true;
    char* stop = nullptr;
    out = std::strtod(text.c_str(), &stop);
    if (*stop == '\0' && out >= low && out <= high) return true;
    step.Error(std::string(name) + " '" + text + "' is not a number from " +
                   std::to_string(static_cast<int>(low)) + " to " +
                   std::to_string(static_cast<int>(high)),
               __LINE__);
    return false;
}

void RunPngStep(const Step& step, COvInfoAct* task) {
    const std::string target = step.OutFilePath(GetObjPropS(task, "OutFile"), "Orvik.png");
    // Another page of the work folder may be photographed: the mail step's charts, one by one.
    const std::string page = step.OutFilePath(GetObjPropS(task, "Page"), "Orvik.htm");
    double width = 0, scale = 0;
    if (target.empty() || page.empty() ||
        !ReadNumber(step, task, "Width", 1024, 100, 10000, width) ||
        !ReadNumber(step, task, "Scale", 1, 1, 4, scale))
        return;
    RenderPage(step, task, page, [&](pdf::PagePrinter& printer) {
        const pdf::PrintedPage shot = printer.Png(static_cast<int>(width), scale);
        LogRefused(step, shot.Refused);
        if (!WriteWhole(step, target, shot.Bytes)) return false;
        step.Log("PNG " + target + ": " + std::to_string(static_cast<int>(width * scale)) +
                     " pixels wide" + std::string(shot.Cut ? ", cut at 16384 pixels down" : ""),
                 __LINE__);
        return true;
    });
}

// The step types this plug-in brings, each with what runs it.
struct StepType {
    const char* Name;
    void (*Run)(const Step& step, COvInfoAct* task);
};
constexpr StepType kStepTypes[] = {{"PDF", RunPdfStep}, {"PNG", RunPngStep}};

class PdfPlugIn : public CRepPlugInBase {
  public:
    PdfPlugIn()
        : CRepPlugInBase("PDF", "1.0", "Prints the report's page to PDF or PNG (needs chromium)") {}

    void Init() override {
        COvCombos* pdf = AddExportType("PDF", "PDF Document");
        AddExportFormat("PDF", "PDF Document");
        const int papers = AddUserCombo();
        for (const pdf::Paper& paper : pdf::PaperSizes())
            AddUserComboValue(papers, paper.Name, paper.Name);
        const int turns = AddUserCombo();
        AddUserComboValue(turns, "auto", "Landscape when too wide");
        AddUserComboValue(turns, "portrait", "Portrait");
        AddUserComboValue(turns, "landscape", "Landscape");
        const int task = OrvikGroup::Task;
        AddProp(pdf, task, "OutFile", "Out File", "Orvik.pdf", 0, OrvikKind::Text, 0, nullptr);
        AddProp(pdf, task, "PaperSize", "Paper Size", "A4", 0, OrvikKind::List,
                static_cast<unsigned>(papers), nullptr);
        AddProp(pdf, task, "Orientation", "Orientation", "auto", 0, OrvikKind::List,
                static_cast<unsigned>(turns), nullptr);
        AddProp(pdf, task, "Margins", "Margins (top right bottom left)", "15mm", 0, OrvikKind::Text,
                0, nullptr);
        AddProp(pdf, task, "HeaderText", "Header (~Page~, ~Pages~, ~Title~)", "", 0,
                OrvikKind::Text, 0, nullptr);
        AddProp(pdf, task, "FooterText", "Footer (~Page~, ~Pages~, ~Title~)", "~Page~ / ~Pages~", 0,
                OrvikKind::Text, 0, nullptr);
        AddProp(pdf, task, "FitWidth", "Fit Wide Sheets to the Width", "1", 0, OrvikKind::Boolean,
                0, nullptr);
        AddProp(pdf, task, "Tagged", "Tagged for Screen Readers", "1", 0, OrvikKind::Boolean, 0,
                nullptr);
        AddProp(pdf, task, "Subject", "Subject", "", 0, OrvikKind::Text, 0, nullptr);
        AddProp(pdf, task, "Timeout", "Timeout, s (empty: CmdTimeout)", "", 0, OrvikKind::Text, 0,
                nullptr);

        COvCombos* png = AddExportType("PNG", "PNG Picture");
        AddExportFormat("PNG", "PNG Picture");
        AddProp(png, task, "OutFile", "Out File", "Orvik.png", 0, OrvikKind::Text, 0, nullptr);
        AddProp(png, task, "Page", "Page (in the work folder)", "Orvik.htm", 0, OrvikKind::Text, 0,
                nullptr);
        AddProp(png, task, "Width", "Width (CSS pixels)", "1024", 0, OrvikKind::Text, 0, nullptr);
        AddProp(png, task, "Scale", "Device Scale (1-4)", "1", 0, OrvikKind::Text, 0, nullptr);
        AddProp(png, task, "Timeout", "Timeout, s (empty: CmdTimeout)", "", 0, OrvikKind::Text, 0,
                nullptr);
    }

    void RunTask(const char* type, COvInfoAct* task) override {
        // Without a step there is no file name: an export only asks about the format.
        if (!task || !type) return;
        for (const StepType& known : kStepTypes) {
            if (std::string_view(type) != known.Name) continue;
            known.Run(Step(known.Name, GetObjPropS(task, "Name"), m_FileName, kPlugInFile), task);
        }
    }
};

}  // namespace

ORVIK_PLUGIN_ENTRY(PdfPlugIn)
