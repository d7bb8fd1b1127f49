// What users actually run: the real `orvik` program, as a whole process, running the task `Daily`
// of a report whose one sheet shows an SQLite table of N rows x 8 columns, so that the page with
// every row lands in $ORVIK_HOME/HTML/Orvik.htm; next to the whole `sqlite3 -html` process writing
// the same table to a file. Process start, loading the report, the query, the grid, the page and
// writing it all count, as they do for a scheduler waiting on the run.
//
// The two take turns (the one that goes first alternates from run to run), several times, and the
// medians count: the wall times of each side and the ratios of the pairs. Peak memory is each
// process's own maximum resident set as wait4 reports it, the largest of the runs. Every run is
// checked (exit status 0, and a page with one table row per database row); a failed run is
// reported and left out of the figures, and makes the benchmark exit 1.
//
// Every run gets a fresh program folder (ORVIK_HOME) and settings file (ORVIK_CONFIG) in a scratch
// folder, so the user's own log, pages and settings are never touched. The program is the `orvik`
// next to this executable unless --orvik names another.
//
//   BatchBench [--runs N] [--orvik PATH] [rows ...]     (default: 3 runs, 250000 and 1000000 rows)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace fs = std::filesystem;

namespace {

const char* const kQuery = "select * from t";
const char* const kTask = "Daily";

// Targets the run is held to; informational, they do not change the exit status.
constexpr double kTargetRatio = 1.3;
constexpr double kTargetPeakPerPage = 2.0;

// How many table rows (`<tr`, in any case) the page holds, read in pieces so that checking a page
// of hundreds of megabytes costs this process no memory worth the name; -1 when it cannot be read.
long long CountTableRows(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return -1;
    static char buffer[1 << 16];
    long long rows = 0;
    char tail[3] = {0, 0, 0};  // the last bytes of the previous piece, for a tag cut in two
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        const auto at = [&](long i) -> char {
            return static_cast<char>(
                std::tolower(static_cast<unsigned char>(i < 0 ? tail[3 + i] : buffer[i])));
        };
        for (long i = -2; i + 2 < static_cast<long>(got); ++i)
            if (at(i) == '<' && at(i + 1) == 't' && at(i + 2) == 'r') ++rows;
        for (int k = 0; k < 3; ++k) tail[k] = at(static_cast<long>(got) - 3 + k);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? -1 : rows;
}

std::string LastLines(const std::string& path, int count) {
    std::ifstream in(path);
    if (!in) return "\n      (no " + fs::path(path).filename().string() + ")";
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    std::string text;
    for (size_t i = lines.size() > static_cast<size_t>(count) ? lines.size() - count : 0;
         i < lines.size(); ++i)
        text += "\n      " + lines[i];
    return text;
}

// One checked run of one side.
struct Outcome {
    bool Ok = false;
    double WallSeconds = 0;
    double CpuSeconds = 0;
    long PeakKilobytes = 0;
    long long PageBytes = 0;
    std::string Failure;
};

Outcome FromProcess(const ProcessRun& process) {
    Outcome outcome;
    outcome.WallSeconds = process.WallSeconds;
    outcome.CpuSeconds = process.CpuSeconds();
    outcome.PeakKilobytes = process.PeakKilobytes();
    return outcome;
}

// Checks that the page at `page` exists and holds `expectedRows` table rows.
void CheckPage(Outcome& outcome, const std::string& page, long long expectedRows) {
    std::error_code error;
    const auto bytes = fs::file_size(page, error);
    if (error) {
        outcome.Failure = "no page at " + page;
        return;
    }
    outcome.PageBytes = static_cast<long long>(bytes);
    const long long rows = CountTableRows(page);
    if (rows != expectedRows) {
        outcome.Failure = "the page holds " + std::to_string(rows) + " table rows, not " +
                          std::to_string(expectedRows) + " (" + std::to_string(bytes) + " bytes)";
        return;
    }
    outcome.Ok = true;
}

Outcome RunOurs(const std::string& orvik, const std::string& scratch, const std::string& report,
                long rows) {
    const std::string home = scratch + "/home";
    std::error_code error;
    fs::remove_all(home, error);  // a page left by the previous run must not pass for this one
    fs::create_directories(home);
    const std::string console = scratch + "/orvik.out";
    const ProcessRun process =
        RunProcess({orvik, report, std::string("/act:") + kTask},
                   {"ORVIK_HOME=" + home, "ORVIK_CONFIG=" + home + "/orvik.ini"}, console, console);
    Outcome outcome = FromProcess(process);
    if (!process.Succeeded()) {
        outcome.Failure = "orvik ended with " + process.Describe() +
                          "; its log ends:" + LastLines(home + "/Orvik18.log", 6) +
                          LastLines(console, 4);
    } else {
        CheckPage(outcome, home + "/HTML/Orvik.htm", rows + 1);  // the header row, then the data
    }
    fs::remove_all(home, error);
    return outcome;
}

Outcome RunPeer(const std::string& database, const std::string& scratch, long rows) {
    const std::string page = scratch + "/peer.html";
    const SqliteHtmlRun run = RunSqliteHtml(database, kQuery, page);
    ProcessRun process;
    process.Usage = run.Usage;
    process.WallSeconds = run.WallSeconds;
    Outcome outcome = FromProcess(process);
    if (run.PageBytes < 0)
        outcome.Failure = "sqlite3 -html failed";
    else
        CheckPage(outcome, page, rows);  // no header without -header
    std::error_code error;
    fs::remove(page, error);
    return outcome;
}

struct Side {
    std::vector<double> Wall, Cpu;
    long PeakKilobytes = 0;
    long long PageBytes = 0;
    int Failed = 0;

    void Add(const Outcome& outcome) {
        if (!outcome.Ok) {
            ++Failed;
            return;
        }
        Wall.push_back(outcome.WallSeconds);
        Cpu.push_back(outcome.CpuSeconds);
        PeakKilobytes = std::max(PeakKilobytes, outcome.PeakKilobytes);
        PageBytes = outcome.PageBytes;
    }
};

// The medians of one side's successful runs, or dashes when it had none.
std::string Figures(const Side& side) {
    char text[64];
    if (side.Wall.empty())
        std::snprintf(text, sizeof text, "%8s %8s %11s", "-", "-", "-");
    else
        std::snprintf(text, sizeof text, "%8.2f %8.2f %11.1f", MedianOf(side.Wall),
                      MedianOf(side.Cpu), side.PeakKilobytes / 1024.0);
    return text;
}

std::string PageMegabytes(const Side& side) {
    char text[32];
    if (side.Wall.empty()) return "-";
    std::snprintf(text, sizeof text, "%.1f", side.PageBytes / 1e6);
    return text;
}

void PrintRun(const char* who, int run, const Outcome& outcome) {
    if (outcome.Ok)
        std::fprintf(stderr, "    run %d %-8s %7.2f s wall %7.2f s cpu %8.1f MiB\n", run, who,
                     outcome.WallSeconds, outcome.CpuSeconds, outcome.PeakKilobytes / 1024.0);
    else
        std::fprintf(stderr, "    run %d %-8s FAILED: %s\n", run, who, outcome.Failure.c_str());
}

const char* Verdict(bool met) {
    return met ? "PASS" : "MISS";
}

}  // namespace

int main(int argc, char** argv) {
    BenchArguments arguments;
    if (!ParseBenchArguments(argc, argv, "BatchBench", {250000, 1000000}, arguments)) return 2;
    std::vector<long>& sizes = arguments.Sizes;
    const int runs = arguments.Runs;
    std::string& orvik = arguments.Orvik;
    if (orvik.empty()) orvik = ProgramNextToUs();
    if (access(orvik.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "BatchBench: no program at %s (give one with --orvik PATH)\n",
                     orvik.c_str());
        return 2;
    }
    orvik = fs::absolute(orvik).string();

    std::string scratch = (fs::temp_directory_path() / "orvik-batch-XXXXXX").string();
    if (!mkdtemp(scratch.data())) return 2;
    const std::string database = scratch + "/big.db";
    const std::string report = scratch + "/big.ovk";

    // What a child that does nothing peaks at through the same runner: the floor under both
    // sides' memory figures.
    const ProcessRun idle = RunProcess({"true"});

    std::printf("orvik: %s\n", orvik.c_str());
    std::printf(
        "each size: %d paired runs of `orvik big.ovk /act:%s` and `sqlite3 -html big.db "
        "\"%s\" > page`,\nwhole processes, taking turns at going first; a child that only "
        "runs `true` peaks at %.1f MiB\n\n",
        runs, kTask, kQuery, idle.PeakKilobytes() / 1024.0);
    std::printf("%9s | %-29s | %-29s | %-6s | %-15s | %s\n", "", "orvik /act (median)",
                "sqlite3 -html (median)", "ratio", "page MB", "our peak /");
    std::printf("%9s | %8s %8s %11s | %8s %8s %11s | %6s | %7s %7s | %s\n", "rows", "wall s",
                "cpu s", "peak MiB", "wall s", "cpu s", "peak MiB", "wall", "ours", "peer",
                "our page");

    bool anyFailed = false;
    struct Verdicts {
        long Rows;
        double Ratio, PeakPerPage;
        bool Measured;
    };
    std::vector<Verdicts> verdicts;
    for (const long rows : sizes) {
        std::fprintf(stderr, "  %ld rows: building the database\n", rows);
        // Built in a child so that this process stays small: the runner's children start as a
        // copy of it, and that copy counts towards their peak memory.
        struct rusage usage {};
        const int built = RunInChild<int>(
            [&](int& ok) {
                MakeDatabase(database, rows);
                ok = 1;
            },
            usage);
        if (built != 1) {
            std::fprintf(stderr, "BatchBench: could not build the database\n");
            anyFailed = true;
            break;
        }
        WriteGridReport(report, database, kQuery, kTask,
                        "\t\t<Name>Page</Name>\r\n\t\t<AType>HTML</AType>\r\n");

        Side ours, peer;
        std::vector<double> ratios;
        for (int run = 1; run <= runs; ++run) {
            Outcome mine, theirs;
            if (run % 2 == 1) {
                mine = RunOurs(orvik, scratch, report, rows);
                theirs = RunPeer(database, scratch, rows);
            } else {
                theirs = RunPeer(database, scratch, rows);
                mine = RunOurs(orvik, scratch, report, rows);
            }
            PrintRun("orvik", run, mine);
            PrintRun("sqlite3", run, theirs);
            ours.Add(mine);
            peer.Add(theirs);
            if (mine.Ok && theirs.Ok) ratios.push_back(mine.WallSeconds / theirs.WallSeconds);
        }
        anyFailed = anyFailed || ours.Failed || peer.Failed;

        const bool measured = !ratios.empty();
        const double ratio = MedianOf(ratios);
        const double peakPerPage =
            ours.PageBytes > 0 ? ours.PeakKilobytes * 1024.0 / ours.PageBytes : 0;
        std::printf("%9ld | %s | %s | ", rows, Figures(ours).c_str(), Figures(peer).c_str());
        if (measured)
            std::printf("%6.2f | ", ratio);
        else
            std::printf("%6s | ", "-");
        std::printf("%7s %7s | ", PageMegabytes(ours).c_str(), PageMegabytes(peer).c_str());
        if (ours.PageBytes > 0)
            std::printf("%.2f x", peakPerPage);
        else
            std::printf("-");
        if (ours.Failed || peer.Failed)
            std::printf("   FAILED RUNS: orvik %d, sqlite3 %d of %d", ours.Failed, peer.Failed,
                        runs);
        std::printf("\n");
        std::fflush(stdout);
        verdicts.push_back({rows, ratio, peakPerPage, measured && ours.PageBytes > 0});

        std::error_code error;
        fs::remove(database, error);
        fs::remove(database + ".ini", error);
    }

    std::printf(
        "\ntargets: wall-time ratio orvik / sqlite3 <= %.1f; orvik's peak memory < %.0f x "
        "its page (informational)\n",
        kTargetRatio, kTargetPeakPerPage);
    for (const Verdicts& v : verdicts) {
        if (!v.Measured) {
            std::printf("%9ld rows: not measured, no pair of runs succeeded\n", v.Rows);
            continue;
        }
        std::printf("%9ld rows: ratio %.2f %s   peak %.2f x page %s\n", v.Rows, v.Ratio,
                    Verdict(v.Ratio <= kTargetRatio), v.PeakPerPage,
                    Verdict(v.PeakPerPage < kTargetPeakPerPage));
    }
    std::error_code error;
    fs::remove_all(scratch, error);
    if (anyFailed) std::printf("\nsome runs failed (see above); their figures are left out\n");
    return anyFailed ? 1 : 0;
}
