// The Excel workbook step at scale: the real `orvik` program, as a whole process, running the task
// `Book` of a report whose one sheet shows an SQLite table of N rows x 8 columns and whose one step
// writes it into $ORVIK_HOME/HTML/Book.xlsx through the Xlsx plug-in; next to the whole
// `sqlite3 -csv` process writing the same query to a file. Process start, the query, the grid, the
// page the run makes before any plug-in step, and the workbook all count.
//
// Reported per run: wall and CPU time and peak memory (ru_maxrss of the child) of both sides, the
// wall-time ratio and the workbook's size; beside them the same report with a page step in place
// of the workbook step, since the program makes the page before any plug-in step: the difference
// is what the workbook costs. A run is checked: exit status 0 and the log's line saying the
// workbook holds the header row and every data row. The Xlsx.rll beside the program is copied
// into each run's fresh program folder (ORVIK_HOME), which is where the program loads plug-ins.
//
//   XlsxBench [--runs N] [--orvik PATH] [rows ...]     (default: 1 run of 1000000 rows)
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace fs = std::filesystem;

namespace {

const char* const kQuery = "select * from t";

// True when the log says the workbook holds the header row and every data row.
bool WorkbookComplete(const std::string& logPath, long rows) {
    std::ifstream in(logPath);
    const std::string written = ": 1 sheets, " + std::to_string(rows + 1) + " rows";
    for (std::string line; std::getline(in, line);) {
        if (line.find(written) != std::string::npos) return true;
    }
    return false;
}

// Runs `report` in a fresh program folder holding the plug-in.
ProcessRun RunOrvik(const std::string& orvik, const std::string& plugIn, const std::string& home,
                    const std::string& report, const std::string& console) {
    std::error_code error;
    fs::remove_all(home, error);
    fs::create_directories(home);
    fs::copy_file(plugIn, home + "/Xlsx.rll");
    return RunProcess({orvik, report, "/act:Book"},
                      {"ORVIK_HOME=" + home, "ORVIK_CONFIG=" + home + "/orvik.ini"}, console,
                      console);
}

}  // namespace

int main(int argc, char** argv) {
    BenchArguments arguments;
    if (!ParseBenchArguments(argc, argv, "XlsxBench", {1000000}, arguments)) return 2;
    if (argc == 1) arguments.Runs = 1;
    std::string orvik = arguments.Orvik.empty() ? ProgramNextToUs() : arguments.Orvik;
    orvik = fs::absolute(orvik).string();
    const std::string plugIn = (fs::path(orvik).parent_path() / "Xlsx.rll").string();
    if (access(orvik.c_str(), X_OK) != 0 || access(plugIn.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "XlsxBench: no program or no Xlsx.rll beside %s\n", orvik.c_str());
        return 2;
    }
    std::string scratch = (fs::temp_directory_path() / "orvik-xlsx-XXXXXX").string();
    if (!mkdtemp(scratch.data())) return 2;
    const std::string database = scratch + "/big.db";
    const std::string report = scratch + "/big.ovk";
    const std::string home = scratch + "/home";
    const std::string csv = scratch + "/peer.csv";

    std::printf("orvik: %s\n", orvik.c_str());
    const std::string pageReport = scratch + "/page.ovk";
    std::printf("%9s | %-28s | %-28s | %-28s | %6s | %s\n", "", "orvik /act:Book (workbook)",
                "same, page only", "sqlite3 -csv", "ratio", "workbook");
    std::printf("%9s | %8s %8s %10s | %8s %8s %10s | %8s %8s %10s | %6s | %s\n", "rows", "wall s",
                "cpu s", "peak MiB", "wall s", "cpu s", "peak MiB", "wall s", "cpu s", "peak MiB",
                "wall", "MB");
    bool failed = false;
    for (const long rows : arguments.Sizes) {
        struct rusage usage {};
        const int built = RunInChild<int>(
            [&](int& ok) {
                MakeDatabase(database, rows);
                ok = 1;
            },
            usage);
        if (built != 1) return 2;
        // The same report twice: once writing the workbook, once only the page the run makes
        // anyway.
        const auto step = [](const char* type) {
            return std::string("\t\t<Name>Workbook</Name>\r\n\t\t<AType>") + type +
                   "</AType>\r\n\t\t<OutFile>Book.xlsx</OutFile>\r\n";
        };
        WriteGridReport(report, database, kQuery, "Book", step("XLSX"), "Orders");
        WriteGridReport(pageReport, database, kQuery, "Book", step("HTML"), "Orders");
        for (int run = 1; run <= arguments.Runs; ++run) {
            const std::string console = scratch + "/orvik.out";
            const ProcessRun page = RunOrvik(orvik, plugIn, home, pageReport, console);
            const ProcessRun ours = RunOrvik(orvik, plugIn, home, report, console);
            const bool complete = WorkbookComplete(home + "/Orvik18.log", rows);
            std::error_code error;
            const auto bytes = fs::file_size(home + "/HTML/Book.xlsx", error);
            const ProcessRun peer = RunProcess({"sqlite3", "-csv", database, kQuery}, {}, csv);
            if (!ours.Succeeded() || !complete || error || !page.Succeeded() || !peer.Succeeded()) {
                std::printf("%9ld | FAILED: orvik %s%s, page only %s, sqlite3 %s (log: %s)\n", rows,
                            ours.Describe().c_str(), complete ? "" : ", workbook not complete",
                            page.Describe().c_str(), peer.Describe().c_str(),
                            (home + "/Orvik18.log").c_str());
                failed = true;
                continue;
            }
            std::printf(
                "%9ld | %8.2f %8.2f %10.1f | %8.2f %8.2f %10.1f | %8.2f %8.2f %10.1f | %6.2f | "
                "%.1f\n",
                rows, ours.WallSeconds, ours.CpuSeconds(), ours.PeakKilobytes() / 1024.0,
                page.WallSeconds, page.CpuSeconds(), page.PeakKilobytes() / 1024.0,
                peer.WallSeconds, peer.CpuSeconds(), peer.PeakKilobytes() / 1024.0,
                ours.WallSeconds / peer.WallSeconds, static_cast<double>(bytes) / 1e6);
            std::fflush(stdout);
        }
    }
    if (!failed) {
        std::error_code error;
        fs::remove_all(scratch, error);
    }
    return failed ? 1 : 0;
}
