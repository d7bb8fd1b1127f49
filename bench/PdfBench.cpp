// The PDF step as users run it: the real `orvik` program, whole process, running a task that
// writes the page and prints it to PDF through the Pdf plug-in and headless Chromium; next to
// Chromium's own command line (`--headless --print-to-pdf`, a fresh profile of its own) printing
// the very page file that run wrote. The renderer does the work on both sides, so the ratio says
// what the program adds around it: start-up, the query, the page, the browser's protocol, the
// vetting of every request and the atomic write. Two pages: the bundled example report (a layout,
// three sheets, a chart) and one sheet of N rows x 8 columns.
//
// Reported per run: wall time of the whole program, of the same task with the page only (the
// difference is the PDF step), of the peer, the ratio ours / peer, pages of both, and pages per
// second of both. A run is checked: exit status 0 and the log's line naming the PDF and its pages.
//
//   PdfBench [--runs N] [--orvik PATH] [rows ...]     (default: 3 runs of 5000 rows)
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace fs = std::filesystem;

namespace {

// The pages the log says the PDF step wrote; -1 when it says none.
int LoggedPages(const std::string& logPath) {
    std::ifstream in(logPath);
    static const std::regex line(": PDF .*/Bench\\.pdf: (\\d+) pages");
    int pages = -1;
    std::smatch match;
    for (std::string text; std::getline(in, text);) {
        if (std::regex_search(text, match, line)) pages = std::stoi(match[1]);
    }
    return pages;
}

int PdfPages(const std::string& pdf) {
    std::ifstream in(pdf, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int pages = 0;
    for (size_t at = bytes.find("/Type /Page"); at != std::string::npos;
         at = bytes.find("/Type /Page", at + 1))
        pages += at + 11 < bytes.size() && bytes[at + 11] != 's';
    return pages;
}

// The report `source` with the task Bench added: its page, and (unless `pageOnly`) the PDF.
std::string WithBenchTask(std::string report, bool pageOnly) {
    int tasks = 0;
    for (size_t at = report.find("<ACT>"); at != std::string::npos;
         at = report.find("<ACT>", at + 1))
        ++tasks;
    const std::string parent = "<ActParent>" + std::to_string(tasks) + "</ActParent>";
    std::string steps = "<ACT><Name>Bench</Name></ACT>\r\n<ACT>" + parent +
                        "<Name>Page</Name><AType>HTML</AType></ACT>\r\n";
    if (!pageOnly)
        steps += "<ACT>" + parent +
                 "<Name>Print</Name><AType>PDF</AType><OutFile>Bench.pdf</OutFile></ACT>\r\n";
    const size_t sheet = report.find("<SHEET>");
    report.insert(sheet == std::string::npos ? report.rfind("</root>") : sheet, steps);
    return report;
}

struct Side {
    ProcessRun Run;
    int Pages = 0;
};

// A fresh program folder with the plug-ins and the example's data; runs `report`'s task Bench.
ProcessRun RunOrvik(const std::string& orvik, const std::string& home, const std::string& report) {
    const fs::path built = fs::path(orvik).parent_path();
    std::error_code error;
    fs::remove_all(home, error);
    fs::create_directories(home + "/examples/sales");
    // The example's own tasks name the workbook step too: its plug-in comes along when built.
    for (const char* plugIn : {"Pdf.rll", "Chart.rll", "Xlsx.rll"})
        fs::copy_file(built / plugIn, home + "/" + plugIn, error);
    fs::copy_file(built / "examples/sales/sales.db", home + "/examples/sales/sales.db", error);
    return RunProcess({orvik, report, "/act:Bench"},
                      {"ORVIK_HOME=" + home, "ORVIK_CONFIG=" + home + "/orvik.ini"},
                      home + "/../orvik.out", home + "/../orvik.out");
}

ProcessRun RunChromium(const std::string& page, const std::string& pdf,
                       const std::string& scratch) {
    const std::string profile = scratch + "/chromium-profile";
    std::error_code error;
    fs::remove_all(profile, error);
    std::vector<std::string> argv = {"/usr/lib/chromium/chromium", "--headless",
                                     "--user-data-dir=" + profile, "--disable-gpu",
                                     "--no-pdf-header-footer",     "--print-to-pdf=" + pdf};
    if (geteuid() == 0) argv.push_back("--no-sandbox");
    argv.push_back("file://" + page);
    return RunProcess(argv, {}, scratch + "/chromium.out", scratch + "/chromium.out");
}

// Times both sides on `report` and prints one line per run; false when a run failed.
bool Compare(const char* name, const std::string& report, const BenchArguments& arguments,
             const std::string& orvik, const std::string& scratch) {
    const std::string home = scratch + "/home";
    const std::string full = scratch + "/bench.ovk";
    const std::string pageOnly = scratch + "/page.ovk";
    std::ofstream(full, std::ios::trunc) << WithBenchTask(report, false);
    std::ofstream(pageOnly, std::ios::trunc) << WithBenchTask(report, true);
    bool ok = true;
    for (int run = 1; run <= arguments.Runs; ++run) {
        const ProcessRun page = RunOrvik(orvik, home, pageOnly);
        Side ours{RunOrvik(orvik, home, full), LoggedPages(home + "/Orvik18.log")};
        const std::string peerPdf = scratch + "/peer.pdf";
        fs::remove(peerPdf);
        Side peer{RunChromium(home + "/HTML/Orvik.htm", peerPdf, scratch), PdfPages(peerPdf)};
        if (!ours.Run.Succeeded() || ours.Pages < 1 || !page.Succeeded() || !peer.Run.Succeeded() ||
            peer.Pages < 1) {
            std::printf(
                "%-12s | FAILED: orvik %s (%d pages), page only %s, chromium %s (log: %s)\n", name,
                ours.Run.Describe().c_str(), ours.Pages, page.Describe().c_str(),
                peer.Run.Describe().c_str(), (home + "/Orvik18.log").c_str());
            ok = false;
            continue;
        }
        std::printf("%-12s | %8.2f %8.2f %6d %8.1f | %8.2f | %8.2f %6d %8.1f | %6.2f\n", name,
                    ours.Run.WallSeconds, ours.Run.CpuSeconds(), ours.Pages,
                    ours.Pages / ours.Run.WallSeconds, page.WallSeconds, peer.Run.WallSeconds,
                    peer.Pages, peer.Pages / peer.Run.WallSeconds,
                    ours.Run.WallSeconds / peer.Run.WallSeconds);
        std::fflush(stdout);
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    BenchArguments arguments;
    if (!ParseBenchArguments(argc, argv, "PdfBench", {5000}, arguments)) return 2;
    std::string orvik = arguments.Orvik.empty() ? ProgramNextToUs() : arguments.Orvik;
    orvik = fs::absolute(orvik).string();
    if (access(orvik.c_str(), X_OK) != 0 ||
        access((fs::path(orvik).parent_path() / "Pdf.rll").c_str(), R_OK) != 0 ||
        access("/usr/lib/chromium/chromium", X_OK) != 0) {
        std::fprintf(stderr, "PdfBench: needs %s with Pdf.rll beside it, and chromium\n",
                     orvik.c_str());
        return 2;
    }
    std::string scratch = (fs::temp_directory_path() / "orvik-pdf-XXXXXX").string();
    if (!mkdtemp(scratch.data())) return 2;

    std::printf("orvik: %s\n", orvik.c_str());
    std::printf("%-12s | %-33s | %-8s | %-24s | %6s\n", "", "orvik /act:Bench (page + PDF)", "page",
                "chromium --print-to-pdf", "ratio");
    std::printf("%-12s | %8s %8s %6s %8s | %8s | %8s %6s %8s | %6s\n", "page", "wall s", "cpu s",
                "pages", "pages/s", "wall s", "wall s", "pages", "pages/s", "wall");
    std::ifstream example(std::string(ORVIK_SOURCE_DIR) + "/examples/sales/Sales.ovk",
                          std::ios::binary);
    const std::string exampleReport((std::istreambuf_iterator<char>(example)),
                                    std::istreambuf_iterator<char>());
    bool ok = Compare("example", exampleReport, arguments, orvik, scratch);
    for (const long rows : arguments.Sizes) {
        const std::string database = scratch + "/rows.db";
        struct rusage usage {};
        if (RunInChild<int>(
                [&](int& done) {
                    MakeDatabase(database, rows);
                    done = 1;
                },
                usage) != 1)
            return 2;
        const std::string report = scratch + "/rows.ovk";
        WriteGridReport(report, database, "select * from t", "Unused",
                        "\t\t<Name>Unused</Name>\r\n\t\t<AType>HTML</AType>\r\n", "Orders");
        std::ifstream in(report, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        ok = Compare((std::to_string(rows) + " rows").c_str(), text, arguments, orvik, scratch) &&
             ok;
    }
    if (ok) {
        std::error_code error;
        fs::remove_all(scratch, error);
    }
    return ok ? 0 : 1;
}
