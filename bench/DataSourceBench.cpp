// How a data source copes with large results: an SQLite table of N rows × 8 columns is loaded
// through OpenRSDS and every cell is read through GetDSTextRC, next to `sqlite3 -html` writing the
// same query as an HTML table. Each side runs in a child process of its own so that its peak
// memory is its own. Run with no arguments for 250k, 500k and 1M rows, or give row counts.
//
//   DataSourceBench [rows ...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "data/AdoDatabase.h"
#include "data/AdoRecordset.h"
#include "model/AppContext.h"
#include "model/OvInfoDS.h"
#include "model/Registries.h"

namespace {

const char* const kQuery = "SELECT id, qty, price, amount, day, name, city, note FROM t";

struct Measure {
    double Seconds = 0;
    double LoadSeconds = 0;  // ours: the part spent in OpenConnectDS
    long PeakKilobytes = 0;
    long long Checksum = 0;  // bytes of text produced, so both sides can be seen to do the work
};

// Runs `work` in a child and returns its time (measured in the child), peak memory and checksum.
template <typename Work>
Measure InChild(Work work) {
    struct rusage usage {};
    Measure measure = RunInChild<Measure>(
        [&](Measure& inChild) {
            const double start = WallSeconds();
            inChild.Checksum = work(inChild);
            inChild.Seconds = WallSeconds() - start;
        },
        usage);
    measure.PeakKilobytes = usage.ru_maxrss;
    return measure;
}

Measure OurSide(const std::string& path) {
    return InChild([&](Measure& measure) -> long long {
        const double start = WallSeconds();
        orvik::AppContext context(orvik::AppContextOptions{"/tmp/", path + ".ini", nullptr});
        context.BatchMode = true;
        COvInfoDS source(&context.Registries(), GroupId::DataSource);
        source.tpDS.Value = "SQL";
        source.DSN.Value = "Provider=SQLite;Data Source=" + path;
        source.Qry.Value = kQuery;
        if (source.OpenConnectDS(context, true) != 1) return -1;
        measure.LoadSeconds = WallSeconds() - start;
        long long bytes = 0;
        const int rows = source.GetDSRowCount(context);
        const int cols = source.GetDSColCount();
        for (int row = 1; row <= rows; ++row)
            for (int col = 0; col < cols; ++col)
                bytes += static_cast<long long>(source.GetDSTextRC(context, row, col).size());
        return bytes;
    });
}

Measure SqliteHtml(const std::string& path) {
    const SqliteHtmlRun run = RunSqliteHtml(path, kQuery);
    Measure measure;
    measure.Seconds = run.WallSeconds;
    measure.PeakKilobytes = run.Usage.ru_maxrss;
    measure.Checksum = run.PageBytes;
    return measure;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
    if (sizes.empty()) sizes = {250000, 500000, 1000000};
    const std::string folder = std::filesystem::temp_directory_path() / "orvik-bench-XXXXXX";
    std::string pattern = folder;
    if (!mkdtemp(pattern.data())) return 1;

    std::printf("%10s | %28s | %28s | %s\n", "rows", "OpenRSDS + GetDSTextRC", "sqlite3 -html",
                "ratio time / memory");
    std::printf("%10s | %10s %8s %8s | %10s %8s %8s |\n", "", "seconds", "MiB", "us/row", "seconds",
                "MiB", "us/row");
    for (long rows : sizes) {
        const std::string path = pattern + "/bench" + std::to_string(rows) + ".db";
        MakeDatabase(path, rows);
        const double databaseBytes = static_cast<double>(std::filesystem::file_size(path));
        const Measure ours = OurSide(path);
        const Measure theirs = SqliteHtml(path);
        const long theirPeak = theirs.PeakKilobytes;
        std::printf(
            "%10ld | %10.2f %8.1f %8.2f | %10.2f %8.1f %8.2f | %5.2f / %5.2f   (load %.2f s; "
            "database file %.1f MiB; text %lld B, html %lld B)\n",
            rows, ours.Seconds, ours.PeakKilobytes / 1024.0, ours.Seconds * 1e6 / rows,
            theirs.Seconds, theirPeak / 1024.0, theirs.Seconds * 1e6 / rows,
            ours.Seconds / theirs.Seconds, static_cast<double>(ours.PeakKilobytes) / theirPeak,
            ours.LoadSeconds, databaseBytes / 1048576.0, ours.Checksum, theirs.Checksum);
        std::filesystem::remove(path);
        std::filesystem::remove(path + ".ini");
    }
    std::filesystem::remove_all(pattern);
    return 0;
}
