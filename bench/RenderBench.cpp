// How a large sheet renders: an SQLite table of N rows x 8 columns goes the whole way a report
// page goes (the sheet's grid view connects and runs its data source, the grid is filled, the
// style rules and table are written into a page, the page is written to Orvik.htm), next to
// `sqlite3 -html` writing the same query as an HTML table to a file. Each side runs in a child
// process of its own so that its peak memory is its own. The two sides take turns, several times
// (3 unless -r says otherwise), and each side's best run counts: on a shared machine the worst
// runs measure the neighbours. Run with no arguments for 1M rows, or give row counts.
//
//   RenderBench [-r runs] [rows ...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "core/SettingsStore.h"
#include "data/AdoDatabase.h"
#include "model/AppContext.h"
#include "model/OvInfoDS.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "render/GridBase.h"
#include "render/GridView.h"

namespace {

const char* const kQuery = "SELECT id, qty, price, amount, day, name, city, note FROM t";

// Times are processor seconds (user + system) unless called wall: on a shared machine the wall
// clock mostly measures the neighbours.
struct Measure {
    double Seconds = 0;
    double WallSeconds = 0;
    double LoadSeconds = 0;   // ours: connecting and running the query
    double FillSeconds = 0;   // ours: the grid fill
    double HtmlSeconds = 0;   // ours: style rules and table
    double WriteSeconds = 0;  // ours: writing Orvik.htm
    long PeakKilobytes = 0;
    long long PageBytes = 0;  // bytes written, so both sides can be seen to do the work
    size_t GridBytes = 0;
};

double Now() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

double WallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuSeconds(const struct rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Runs `work` in a child and returns what it measured, with the child's peak memory.
template <typename Work>
Measure InChild(Work work) {
    struct rusage usage {};
    Measure measure = RunInChild<Measure>(
        [&](Measure& inChild) {
            const double start = WallNow();
            work(inChild);
            inChild.WallSeconds = WallNow() - start;
        },
        usage);
    measure.PeakKilobytes = usage.ru_maxrss;
    measure.Seconds = CpuSeconds(usage);
    return measure;
}

Measure OurSide(const std::string& path, const std::string& folder) {
    return InChild([&](Measure& measure) {
        const double start = Now();
        orvik::AppContext context(orvik::AppContextOptions{folder, path + ".ini", nullptr});
        context.BatchMode = true;
        BuildSchema(context.Registries(), context.Settings());
        CReport& report = context.Report();
        report.StartNew();
        COvInfoDS* source = report.NewDataSource("Orders");
        source->DSN.Value = "Provider=SQLite;Data Source=" + path;
        source->Qry.Value = kQuery;
        COvInfoSheet* sheet = report.NewSheet("Orders");
        sheet->cDS.Value = "Orders";
        if (source->OpenConnectDS(context, true) != 1) return;
        measure.LoadSeconds = Now() - start;

        // What CreateGridView does once the source has run, timed on its own.
        const double fillStart = Now();
        CGridView gridView(context, *sheet);
        gridView.OnRefreshRequest();
        CGridView* view = &gridView;
        measure.FillSeconds = Now() - fillStart;
        measure.GridBytes = view->GetGridCtrl()->MemoryBytes();

        const double htmlStart = Now();
        std::string page =
            "<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
            "CHARSET=windows-1251\">\n<STYLE>" +
            view->GetStyle(0) + "</STYLE>\n</HEAD><BODY>\n";
        view->MakeHTML(page, 0, 0);
        page += "</BODY></HTML>";
        measure.HtmlSeconds = Now() - htmlStart;

        const double writeStart = Now();
        std::FILE* file = std::fopen((context.Registries().HtmlFolder + "Orvik.htm").c_str(), "wb");
        if (!file) return;
        measure.PageBytes = static_cast<long long>(std::fwrite(page.data(), 1, page.size(), file));
        std::fclose(file);
        measure.WriteSeconds = Now() - writeStart;
    });
}

Measure SqliteHtml(const std::string& path) {
    const SqliteHtmlRun run = RunSqliteHtml(path, kQuery);
    Measure measure;
    measure.WallSeconds = run.WallSeconds;
    measure.Seconds = CpuSeconds(run.Usage);
    measure.PeakKilobytes = run.Usage.ru_maxrss;
    measure.PageBytes = run.PageBytes;
    return measure;
}

}  // namespace

// The run with the least processor time, with the wall time of the quickest run.
Measure Best(const Measure& a, const Measure& b) {
    Measure best = a.Seconds <= b.Seconds ? a : b;
    best.WallSeconds = std::min(a.WallSeconds, b.WallSeconds);
    return best;
}

int main(int argc, char** argv) {
    std::vector<long> sizes;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "-r" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            sizes.push_back(std::atol(argv[i]));
    }
    if (sizes.empty()) sizes = {1000000};
    std::string folder = (std::filesystem::temp_directory_path() / "orvik-render-XXXXXX").string();
    if (!mkdtemp(folder.data())) return 1;
    folder += "/";

    std::printf("%9s | %-44s | %-25s | %s\n", "rows",
                "ours: cpu s (load fill html write), wall, MiB", "sqlite3 -html: cpu, wall",
                "cpu ratio, peak / page");
    for (const long rows : sizes) {
        const std::string path = folder + "render.db";
        MakeDatabase(path, rows);
        Measure ours = OurSide(path, folder);
        Measure theirs = SqliteHtml(path);
        for (int run = 1; run < runs; ++run) {
            ours = Best(ours, OurSide(path, folder));
            theirs = Best(theirs, SqliteHtml(path));
        }
        const double pageMiB = ours.PageBytes / 1048576.0;
        std::printf(
            "%9ld | %5.2f (%4.2f %4.2f %4.2f %4.2f) %6.2f %6.1f | %5.2f %6.2f %6.1f MiB | %4.2f, "
            "%4.2f x page  (page %.1f MiB, sqlite3's %.1f MiB, grid %.1f MiB)\n",
            rows, ours.Seconds, ours.LoadSeconds, ours.FillSeconds, ours.HtmlSeconds,
            ours.WriteSeconds, ours.WallSeconds, ours.PeakKilobytes / 1024.0, theirs.Seconds,
            theirs.WallSeconds, theirs.PeakKilobytes / 1024.0, ours.Seconds / theirs.Seconds,
            ours.PeakKilobytes / 1024.0 / pageMiB, pageMiB, theirs.PageBytes / 1048576.0,
            ours.GridBytes / 1048576.0);
        std::filesystem::remove(path);
        std::filesystem::remove(path + ".ini");
    }
    std::filesystem::remove_all(folder);
    return 0;
}
