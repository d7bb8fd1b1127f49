#include "PdfProgram.h"

#include <sys/wait.h>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>

namespace orvik::test {

namespace fs = std::filesystem;

ShellResult RunShell(const std::string& command) {
    ShellResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        result.Output.append(chunk, n);
    const int status = ::pclose(pipe);
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ShellWord(const std::string& text) {
    std::string word = "'";
    for (const char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

PdfProgram::PdfProgram() : built_(fs::canonical("/proc/self/exe").parent_path().string()) {
    for (const char* plugIn : {"Pdf.rll", "Chart.rll"})
        fs::copy_file(built_ + "/" + plugIn, home_.Path() + plugIn);
    fs::create_directories(home_.Path() + "examples/sales");
    fs::copy_file(built_ + "/examples/sales/sales.db", home_.Path() + "examples/sales/sales.db");
}

ShellResult PdfProgram::Run(const std::string& report, const std::string& task,
                            const std::string& environment) {
    const std::string path = home_.Write("report.ovk", report);
    return RunShell(
        "cd " + ShellWord(home_.Path()) + " && env ORVIK_HOME=" + ShellWord(home_.Path()) +
        " ORVIK_CONFIG=" + ShellWord(home_.Path() + "settings.ini") + " " + environment + " " +
        ShellWord(built_ + "/orvik") + " " + ShellWord(path) + " " + ShellWord("/act:" + task));
}

std::string PdfProgram::Log() const {
    return ReadFileBytes(home_.Path() + "Orvik18.log");
}

std::string PdfText(const std::string& pdf, int page, bool layout) {
    const std::string range =
        page > 0 ? " -f " + std::to_string(page) + " -l " + std::to_string(page) : "";
    return RunShell("pdftotext -enc UTF-8" + range + (layout ? " -layout" : "") + " " +
                    ShellWord(pdf) + " -")
        .Output;
}

std::string PdfInfo(const std::string& pdf, const std::string& field) {
    std::istringstream lines(RunShell("pdfinfo " + ShellWord(pdf)).Output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(field + ":", 0) != 0) continue;
        const size_t value = line.find_first_not_of(' ', field.size() + 1);
        return value == std::string::npos ? std::string() : line.substr(value);
    }
    return {};
}

std::string WithTask(std::string report, const std::string& task, std::string steps) {
    int tasks = 0;
    for (size_t at = report.find("<ACT>"); at != std::string::npos;
         at = report.find("<ACT>", at + 1))
        ++tasks;
    for (size_t at; (at = steps.find("@")) != std::string::npos;)
        steps.replace(at, 1, std::to_string(tasks));
    const size_t sheet = report.find("<SHEET>");
    report.insert(sheet == std::string::npos ? report.rfind("</root>") : sheet,
                  "<ACT><Name>" + task + "</Name></ACT>\n" + steps);
    return report;
}

std::string Step(const std::string& name, const std::string& type, const std::string& more) {
    return "<ACT><ActParent>@</ActParent><Name>" + name + "</Name><AType>" + type + "</AType>" +
           more + "</ACT>\n";
}

std::vector<std::string> SheetCells(const std::string& page, const std::string& id) {
    // A layout's placeholder puts its style before the id; a bar column nests tables of its own,
    // so the sheet runs up to the next sheet's table.
    const std::regex opening("<TABLE[^>]* id=" + id + "[ >]", std::regex::icase);
    std::smatch found;
    std::vector<std::string> cells;
    if (!std::regex_search(page, found, opening)) return cells;
    const size_t start = static_cast<size_t>(found.position(0));
    const size_t end = page.find(" id=OrvikSheet", start + found.length(0));
    const std::string table = page.substr(start, end == std::string::npos ? end : end - start);
    static const std::regex cell("<TD[^>]*>([^<]*)</TD>", std::regex::icase);
    for (std::sregex_iterator it(table.begin(), table.end(), cell), last; it != last; ++it)
        cells.push_back((*it)[1]);
    return cells;
}

std::string MissingPdfTools() {
    for (const char* tool : {"pdftotext", "pdfinfo", "pdffonts", "pdfimages", "pdftoppm"}) {
        if (RunShell(std::string("command -v ") + tool).Status != 0)
            return std::string(tool) + " (Debian package poppler-utils)";
    }
    return {};
}

}  // namespace orvik::test
