// What the embedded cube engine costs next to the SQL it stands for. A star schema is generated in
// SQLite (days, stores in regions, products in categories, and a fact table of N rows) with its
// cube schema, and the same question is asked both ways in the same run:
//   - an MDX query, two crossjoined levels (region x category) by two measures (amount, quantity)
//     sliced to one year, run through CADOMDCellSet::Open in a child process of its own: the
//     first run from a fresh process (schema read, members loaded), then the repeats;
//   - the hand-written GROUP BY that gives the same numbers, run by the `sqlite3` program as a
//     process of its own.
// Every cell of the cell set is checked against sqlite3's numbers. Then the whole `orvik` program
// runs a generated report whose one sheet shows that MDX query (/act, page written) next to the
// whole `sqlite3 -html` process running the GROUP BY. Ratios are medians of runs taken in turns.
//
//   CubeBench [--runs N] [--orvik PATH] [rows ...]     (default: 3 runs, 1000000 and 5000000 rows)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "BenchSupport.h"
#include "data/AdoCellSet.h"
#include "data/AdoException.h"
#include "olap/CubeEngine.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRegions = 8;
constexpr int kStores = 200;
constexpr int kCategories = 20;
constexpr int kProducts = 2000;
constexpr int kDays = 1096;  // 2022-01-01 to 2024-12-31
const char* const kYear = "2023";
const char* const kTask = "Bench";

const char* const kMdx =
    "SELECT {[Measures].[Amount], [Measures].[Quantity]} ON COLUMNS,\n"
    "  Crossjoin({[Store].[Region].Members}, {[Product].[Category].Members}) ON ROWS\n"
    "FROM [Sales]\n"
    "WHERE ([Time].[2023])";

const char* const kSql =
    "SELECT s.region, p.category, sum(f.amount), sum(f.quantity) FROM facts f "
    "JOIN days d ON d.day_id = f.day_id JOIN stores s ON s.store_id = f.store_id "
    "JOIN products p ON p.product_id = f.product_id WHERE d.year = 2023 "
    "GROUP BY s.region, p.category ORDER BY s.region, p.category";

// The star: every dimension table small, the fact table spread evenly over all of them, so every
// region x category pair of every year has facts.
void MakeStar(const std::string& path, long rows) {
    std::ofstream(path, std::ios::trunc).close();
    orvik::AppContext context(orvik::AppContextOptions{"/tmp/", path + ".ini", nullptr});
    CADODatabase db;
    db.Open("Provider=SQLite;Data Source=" + path);
    const auto count = [](const char* from, int to) {
        return std::string("WITH RECURSIVE c(x) AS (SELECT ") + from +
               " UNION ALL SELECT x + 1 FROM c WHERE x < " + std::to_string(to) + ") ";
    };
    db.Execute(
        "CREATE TABLE days (day_id INTEGER PRIMARY KEY, day TEXT, year INTEGER, quarter TEXT, "
        "month INTEGER)");
    db.Execute("INSERT INTO days " + count("0", kDays - 1) +
               "SELECT x, date('2022-01-01', '+' || x || ' days'), 0, '', 0 FROM c");
    db.Execute(
        "UPDATE days SET year = CAST(strftime('%Y', day) AS INTEGER), "
        "month = CAST(strftime('%m', day) AS INTEGER)");
    db.Execute("UPDATE days SET quarter = 'Q' || ((month + 2) / 3)");
    db.Execute("CREATE TABLE stores (store_id INTEGER PRIMARY KEY, name TEXT, region TEXT)");
    db.Execute("INSERT INTO stores " + count("1", kStores) +
               "SELECT x, 'Store ' || x, 'Region ' || (x % " + std::to_string(kRegions) +
               " + 1) FROM c");
    db.Execute("CREATE TABLE products (product_id INTEGER PRIMARY KEY, name TEXT, category TEXT)");
    db.Execute("INSERT INTO products " + count("1", kProducts) +
               "SELECT x, 'Product ' || x, printf('Category %02d', x % " +
               std::to_string(kCategories) + " + 1) FROM c");
    db.Execute(
        "CREATE TABLE facts (day_id INTEGER, store_id INTEGER, product_id INTEGER, "
        "quantity INTEGER, amount REAL)");
    // Three multiplicative hashes, each read from its high bits, so that day, store and product
    // vary independently of one another.
    const auto spread = [](const char* multiplier, int buckets) {
        return std::string("((x * ") + multiplier + ") % 4294967296) * " + std::to_string(buckets) +
               " / 4294967296";
    };
    db.Execute("INSERT INTO facts " + count("1", static_cast<int>(rows)) + "SELECT " +
               spread("3266489917", kDays) + ", 1 + " + spread("2654435761", kStores) + ", 1 + " +
               spread("2246822519", kProducts) + ", 1 + x % 9, (x * 7919 % 100000) / 100.0 FROM c");
}

void WriteCubeSchema(const std::string& path) {
    std::ofstream(path, std::ios::trunc) << R"(<?xml version="1.0" encoding="UTF-8"?>
<Schema name="Bench">
  <Cube name="Sales" defaultMeasure="Amount">
    <Table name="facts"/>
    <Dimension name="Time" type="TimeDimension" foreignKey="day_id">
      <Hierarchy hasAll="true" primaryKey="day_id">
        <Table name="days"/>
        <Level name="Year" column="year" type="Numeric" uniqueMembers="true" levelType="TimeYears"/>
        <Level name="Quarter" column="quarter" uniqueMembers="false" levelType="TimeQuarters"/>
        <Level name="Month" column="month" type="Numeric" uniqueMembers="false" levelType="TimeMonths"/>
      </Hierarchy>
    </Dimension>
    <Dimension name="Store" foreignKey="store_id">
      <Hierarchy hasAll="true" primaryKey="store_id">
        <Table name="stores"/>
        <Level name="Region" column="region" uniqueMembers="true"/>
        <Level name="Store" column="name" uniqueMembers="true"/>
      </Hierarchy>
    </Dimension>
    <Dimension name="Product" foreignKey="product_id">
      <Hierarchy hasAll="true" primaryKey="product_id">
        <Table name="products"/>
        <Level name="Category" column="category" uniqueMembers="true"/>
        <Level name="Product" column="name" uniqueMembers="true"/>
      </Hierarchy>
    </Dimension>
    <Measure name="Amount" column="amount" aggregator="sum" formatString="#,###.00"/>
    <Measure name="Quantity" column="quantity" aggregator="sum" formatString="#,###"/>
  </Cube>
</Schema>
)";
}

// sqlite3's answer: amount and quantity per "region|category".
using Answer = std::map<std::string, std::pair<double, double>>;

bool ReadAnswer(const std::string& path, Answer& answer) {
    std::ifstream in(path);
    if (!in) return false;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, '|');) fields.push_back(field);
        if (fields.size() != 4) return false;
        answer[fields[0] + "|" + fields[1]] = {std::atof(fields[2].c_str()),
                                               std::atof(fields[3].c_str())};
    }
    return !answer.empty();
}

bool Agrees(double ours, double theirs) {
    return std::fabs(ours - theirs) <= 1e-9 * std::max(1.0, std::fabs(theirs)) + 1e-6;
}

// What the child that runs the MDX query reports back (trivially copyable: it crosses a pipe).
struct CubeRuns {
    int Runs = 0;
    double Seconds[16] = {};
    long Cells = 0;
    long Checked = 0;
    double ParseSeconds[2] = {}, SqlSeconds[2] = {}, AssemblySeconds[2] = {};
    long SqlQueries[2] = {};
    char Failure[512] = {};
};

void Fail(CubeRuns& runs, const std::string& text) {
    std::snprintf(runs.Failure, sizeof runs.Failure, "%s", text.c_str());
}

// Checks every cell against sqlite3's numbers; false (with the reason) at the first difference.
bool Check(const CADOMDCellSet& cells, const Answer& answer, CubeRuns& runs) {
    if (cells.AxisCount() != 2) {
        Fail(runs, "the cell set has " + std::to_string(cells.AxisCount()) + " axes, not 2");
        return false;
    }
    const auto& rows = cells.Axis(1).Positions;
    if (cells.Axis(0).Positions.size() != 2 || rows.size() != answer.size()) {
        Fail(runs, std::to_string(rows.size()) + " rows x " +
                       std::to_string(cells.Axis(0).Positions.size()) + " columns, sqlite3 has " +
                       std::to_string(answer.size()) + " x 2");
        return false;
    }
    runs.Cells = static_cast<long>(rows.size()) * 2;
    runs.Checked = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].Members.size() != 2) {
            Fail(runs, "row " + std::to_string(r) + " is no pair of members");
            return false;
        }
        const std::string key = rows[r].Members[0].Caption + "|" + rows[r].Members[1].Caption;
        const auto found = answer.find(key);
        if (found == answer.end()) {
            Fail(runs, "row " + key + " is not in sqlite3's answer");
            return false;
        }
        const double expected[2] = {found->second.first, found->second.second};
        for (int c = 0; c < 2; ++c) {
            const CellSetCell& cell = cells.Cell(static_cast<long>(r) * 2 + c);
            const double value = cell.Value.AsDouble();
            if (!Agrees(value, expected[c])) {
                char text[200];
                std::snprintf(text, sizeof text, "%s, measure %d: %.6f (\"%s\"), sqlite3 %.6f",
                              key.c_str(), c, value, cell.FormattedValue.c_str(), expected[c]);
                Fail(runs, text);
                return false;
            }
            ++runs.Checked;
        }
    }
    return true;
}

// The MDX query `count` times in a fresh child process: run 0 pays for reading the schema and the
// members, the others show what a warm connection costs.
CubeRuns RunCube(const std::string& connection, const Answer& answer, int count, long& peak) {
    struct rusage usage {};
    CubeRuns result = RunInChild<CubeRuns>(
        [&](CubeRuns& runs) {
            orvik::AppContext context(
                orvik::AppContextOptions{"/tmp/", "/tmp/orvik-cubebench.ini", nullptr});
            for (int run = 0; run < count && run < 16; ++run) {
                CADOMDCellSet cells;
                const double start = WallSeconds();
                try {
                    cells.Open(kMdx, connection);
                } catch (const CADOException& error) {
                    Fail(runs, "Open failed: " + error.GetErrorMessage());
                    return;
                }
                runs.Seconds[run] = WallSeconds() - start;
                runs.Runs = run + 1;
                const int slot = run == 0 ? 0 : 1;
                const auto timings = orvik::LastCubeQueryTimings();
                runs.ParseSeconds[slot] = timings.ParseSeconds;
                runs.SqlSeconds[slot] = timings.SqlSeconds;
                runs.AssemblySeconds[slot] = timings.AssemblySeconds;
                runs.SqlQueries[slot] = static_cast<long>(timings.SqlQueries);
                if (!Check(cells, answer, runs)) return;
            }
        },
        usage);
    peak = usage.ru_maxrss;
    return result;
}

// One run of the GROUP BY by the sqlite3 program into `output` (`html`: as an HTML table).
ProcessRun RunSqlite(const std::string& database, const std::string& output, bool html) {
    std::vector<std::string> argv = {"sqlite3"};
    if (html) argv.push_back("-html");
    argv.insert(argv.end(), {database, kSql});
    return RunProcess(argv, {}, output);
}

// How many table rows (`<TR`, any case) the file holds; -1 when it cannot be read.
long CountTableRows(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return -1;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    long rows = 0;
    for (size_t i = 0; i + 2 < text.size(); ++i) {
        if (text[i] == '<' && (text[i + 1] | 0x20) == 't' && (text[i + 2] | 0x20) == 'r') ++rows;
    }
    return rows;
}

struct Whole {
    ProcessRun Process;
    bool Ok = false;
    std::string Failure;
};

Whole RunOrvik(const std::string& orvik, const std::string& scratch, const std::string& report,
               long expectedRows) {
    const std::string home = scratch + "/home";
    std::error_code error;
    fs::remove_all(home, error);
    fs::create_directories(home);
    Whole whole;
    whole.Process = RunProcess({orvik, report, std::string("/act:") + kTask},
                               {"ORVIK_HOME=" + home, "ORVIK_CONFIG=" + home + "/orvik.ini"},
                               scratch + "/orvik.out", scratch + "/orvik.out");
    const long rows = CountTableRows(home + "/HTML/Orvik.htm");
    if (!whole.Process.Succeeded()) {
        whole.Failure = "orvik ended with " + whole.Process.Describe() + " (log: kept in " +
                        scratch + "/Orvik18.log)";
        fs::copy_file(home + "/Orvik18.log", scratch + "/Orvik18.log",
                      fs::copy_options::overwrite_existing, error);
    } else if (rows != expectedRows) {
        whole.Failure = "the page holds " + std::to_string(rows) + " table rows, not " +
                        std::to_string(expectedRows);
    } else {
        whole.Ok = true;
    }
    return whole;
}

}  // namespace

int main(int argc, char** argv) {
    BenchArguments arguments;
    if (!ParseBenchArguments(argc, argv, "CubeBench", {1000000, 5000000}, arguments)) return 2;
    std::vector<long>& sizes = arguments.Sizes;
    const int runs = arguments.Runs;
    std::string& orvik = arguments.Orvik;
    if (orvik.empty()) orvik = ProgramNextToUs();
    const bool wholeProgram = access(orvik.c_str(), X_OK) == 0;
    if (wholeProgram) orvik = fs::absolute(orvik).string();

    std::string scratch = (fs::temp_directory_path() / "orvik-cube-XXXXXX").string();
    if (!mkdtemp(scratch.data())) return 2;
    const std::string database = scratch + "/star.db";
    const std::string schema = scratch + "/star.xml";
    const std::string report = scratch + "/star.ovk";
    const std::string connection =
        "Provider=Orvik.Cube;Data Source=" + database + ";Catalog=" + schema;
    WriteCubeSchema(schema);
    WriteCubeReport(report, connection, "Sales", kMdx, kTask);

    std::printf("query: %s\npeer:  sqlite3 star.db \"%s\"\n", kMdx, kSql);
    std::printf("%d regions x %d categories, 2 measures, sliced to %s; %d runs each\n\n", kRegions,
                kCategories, kYear, runs);
    bool failed = false;
    for (const long rows : sizes) {
        std::fprintf(stderr, "  %ld fact rows: building the star\n", rows);
        struct rusage usage {};
        const double buildStart = WallSeconds();
        if (RunInChild<int>(
                [&](int& ok) {
                    MakeStar(database, rows);
                    ok = 1;
                },
                usage) != 1) {
            std::fprintf(stderr, "CubeBench: could not build the star\n");
            return 1;
        }
        std::printf("%ld fact rows (built in %.1f s)\n", rows, WallSeconds() - buildStart);

        // The peer first, so that its answer is there to check ours against.
        std::vector<double> peerSeconds;
        Answer answer;
        for (int run = 0; run < runs; ++run) {
            const ProcessRun peer = RunSqlite(database, scratch + "/peer.txt", false);
            if (!peer.Succeeded()) {
                std::printf("  sqlite3 failed: %s\n", peer.Describe().c_str());
                return 1;
            }
            peerSeconds.push_back(peer.WallSeconds);
        }
        if (!ReadAnswer(scratch + "/peer.txt", answer)) {
            std::printf("  sqlite3's answer cannot be read\n");
            return 1;
        }

        long peak = 0;
        const CubeRuns cube = RunCube(connection, answer, runs + 1, peak);
        const double peer = MedianOf(peerSeconds);
        if (cube.Failure[0]) {
            std::printf("  MDX through CADOMDCellSet::Open FAILED: %s\n", cube.Failure);
            failed = true;
        } else {
            const std::vector<double> warm(cube.Seconds + 1, cube.Seconds + cube.Runs);
            std::printf("  sqlite3 GROUP BY (process)       %8.3f s median\n", peer);
            std::printf("  MDX, fresh process (first query) %8.3f s   ratio %6.2f\n",
                        cube.Seconds[0], cube.Seconds[0] / peer);
            std::printf("  MDX, repeated on its connection  %8.3f s   ratio %6.2f   (median)\n",
                        MedianOf(warm), MedianOf(warm) / peer);
            std::printf("  %ld cells, all agree with sqlite3; peak memory %.1f MiB\n", cube.Cells,
                        peak / 1024.0);
            for (int slot = 0; slot < 2; ++slot)
                std::printf(
                    "  engine, %-6s parse %.4f s, SQL %.3f s in %ld queries, assembly %.4f s\n",
                    slot == 0 ? "first:" : "last:", cube.ParseSeconds[slot], cube.SqlSeconds[slot],
                    cube.SqlQueries[slot], cube.AssemblySeconds[slot]);
        }

        if (wholeProgram) {
            std::vector<double> ours, theirs, ratios;
            for (int run = 1; run <= runs; ++run) {
                Whole mine;
                ProcessRun peerRun;
                const auto runPeer = [&] {
                    peerRun = RunSqlite(database, scratch + "/peer.html", true);
                };
                if (run % 2 == 1) {
                    mine = RunOrvik(orvik, scratch, report, kRegions * kCategories + 1);
                    runPeer();
                } else {
                    runPeer();
                    mine = RunOrvik(orvik, scratch, report, kRegions * kCategories + 1);
                }
                if (!mine.Ok) {
                    std::printf("  orvik /act run %d FAILED: %s\n", run, mine.Failure.c_str());
                    failed = true;
                    continue;
                }
                if (!peerRun.Succeeded()) continue;
                ours.push_back(mine.Process.WallSeconds);
                theirs.push_back(peerRun.WallSeconds);
                ratios.push_back(mine.Process.WallSeconds / peerRun.WallSeconds);
            }
            if (!ratios.empty())
                std::printf(
                    "  whole process: orvik /act %8.3f s, sqlite3 -html %8.3f s   ratio %6.2f\n",
                    MedianOf(ours), MedianOf(theirs), MedianOf(ratios));
        } else {
            std::printf("  whole process: no orvik program at %s (give one with --orvik)\n",
                        orvik.c_str());
        }
        std::printf("\n");
        std::fflush(stdout);
        std::error_code error;
        fs::remove(database, error);
        fs::remove(database + ".ini", error);
    }
    std::error_code error;
    if (!failed) fs::remove_all(scratch, error);
    return failed ? 1 : 0;
}
