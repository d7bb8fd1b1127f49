// The cube engine where cubes get large, next to the SQL a user would otherwise write. A sparse
// star is generated in SQLite (100,000 customers in 50 regions, 365 days, 200 products; the fact
// table's rows come ten to a customer and day, so about one pair in 36 has facts) with an
// aggregate table by customer and day, and these are timed:
//   - NON EMPTY Crossjoin(customers, days) with two measures: through CADOMDCellSet::Open in a
//     fresh child process (first query, then the same query again on its warm connection), and
//     the whole `orvik` program running a report that shows it, against the `sqlite3` program
//     running the GROUP BY that gives the same numbers;
//   - the same query with the aggregate table declared, against the same fact-table GROUP BY;
// every cell checked against sqlite3's numbers. Then the probes: queries whose whole product is
// far too large to build (3- and 4-way crossjoins of role-playing days, NON EMPTY over 5 million
// customers by 365 days, Distinct and Order over large sets), each timed with its peak memory.
//
//   CubeScaleBench [--runs N] [--orvik PATH] [rows ...]   (default: 3 runs; 1M and 10M rows)
// ORVIK_CUBE_PROBES=0 leaves the probes out; ORVIK_BENCH_KEEP=1 keeps the generated star and the
// probes' database in its scratch folder, to run them under a profiler.
#include <sys/resource.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "BenchSupport.h"
#include "data/AdoCellSet.h"
#include "data/AdoException.h"
#include "olap/CubeEngine.h"
#include "olap/OlapConnection.h"

namespace fs = std::filesystem;

namespace {

constexpr int kCustomers = 100000;
const char* const kTask = "Bench";

const char* const kMdx =
    "SELECT {[Measures].[Amount], [Measures].[Quantity]} ON COLUMNS,\n"
    "  NON EMPTY Crossjoin([Customer].[Name].Members, [Day].[Day].Members) ON ROWS\n"
    "FROM [Sales]";

const char* const kSql =
    "SELECT c.name, d.day, sum(f.amount), sum(f.quantity) FROM facts f "
    "JOIN customers c ON c.customer_id = f.customer_id JOIN days d ON d.day_id = f.day_id "
    "GROUP BY c.customer_id, d.day_id ORDER BY c.region, c.name, d.day_id";

std::string Counted(const char* from, long to) {
    return std::string("WITH RECURSIVE c(x) AS (SELECT ") + from +
           " UNION ALL SELECT x + 1 FROM c WHERE x < " + std::to_string(to) + ") ";
}

// A multiplicative hash of `what` read from its high bits: `buckets` values, evenly spread.
std::string Spread(const std::string& what, const char* multiplier, long buckets) {
    return "(((" + what + ") * " + multiplier + ") % 4294967296) * " + std::to_string(buckets) +
           " / 4294967296";
}

void MakeDays(CADODatabase& db) {
    db.Execute("CREATE TABLE days (day_id INTEGER PRIMARY KEY, day TEXT, month INTEGER)");
    db.Execute("INSERT INTO days " + Counted("0", 364) +
               "SELECT x, date('2024-01-01', '+' || x || ' days'), 0 FROM c");
    db.Execute("UPDATE days SET month = CAST(strftime('%m', day) AS INTEGER)");
}

void MakeCustomers(CADODatabase& db, long count) {
    db.Execute("CREATE TABLE customers (customer_id INTEGER PRIMARY KEY, name TEXT, region TEXT)");
    db.Execute("INSERT INTO customers " + Counted("1", count) +
               "SELECT x, printf('C%07d', x), printf('R%02d', x % 50) FROM c");
}

// The sparse star: facts ten to a (customer, day) pair, and the aggregate table by pair.
void MakeStar(const std::string& path, long rows) {
    std::ofstream(path, std::ios::trunc).close();
    orvik::AppContext context(orvik::AppContextOptions{"/tmp/", path + ".ini", nullptr});
    CADODatabase db;
    db.Open("Provider=SQLite;Data Source=" + path);
    MakeDays(db);
    MakeCustomers(db, kCustomers);
    db.Execute("CREATE TABLE products (product_id INTEGER PRIMARY KEY, name TEXT, category TEXT)");
    db.Execute("INSERT INTO products " + Counted("1", 200) +
               "SELECT x, 'Product ' || x, 'Category ' || (x % 20) FROM c");
    db.Execute(
        "CREATE TABLE facts (customer_id INTEGER, day_id INTEGER, product_id INTEGER, "
        "quantity INTEGER, amount REAL)");
    db.Execute("INSERT INTO facts " + Counted("1", rows) + "SELECT 1 + " +
               Spread("x / 10", "2654435761", kCustomers) + ", " +
               Spread("x / 10", "3266489917", 365) +
               ", 1 + x % 200, 1 + x % 9, (x * 7919 % 100000) / 100.0 FROM c");
    db.Execute(
        "CREATE TABLE agg_customer_day AS SELECT customer_id, day_id, sum(amount) AS amount, "
        "sum(quantity) AS quantity, count(*) AS fact_count FROM facts "
        "GROUP BY customer_id, day_id");
}

std::string Dimension(const std::string& name, const std::string& foreignKey,
                      const std::string& levels, const std::string& table, const std::string& key) {
    return "<Dimension name=\"" + name + "\" foreignKey=\"" + foreignKey +
           "\"><Hierarchy hasAll=\"true\" primaryKey=\"" + key + "\"><Table name=\"" + table +
           "\"/>" + levels + "</Hierarchy></Dimension>\n";
}

const char* const kDayLevels =
    "<Level name=\"Month\" column=\"month\" type=\"Numeric\" uniqueMembers=\"true\"/>"
    "<Level name=\"Day\" column=\"day_id\" nameColumn=\"day\" type=\"Numeric\" "
    "uniqueMembers=\"true\"/>";

void WriteSchema(const std::string& path, bool aggregates) {
    std::ofstream(path, std::ios::trunc)
        << "<?xml version=\"1.0\"?>\n<Schema name=\"Scale\"><Cube name=\"Sales\">\n"
        << "<Table name=\"facts\">"
        << (aggregates ? "<AggName name=\"agg_customer_day\"><AggFactCount column=\"fact_count\"/>"
                         "<AggForeignKey factColumn=\"customer_id\" aggColumn=\"customer_id\"/>"
                         "<AggForeignKey factColumn=\"day_id\" aggColumn=\"day_id\"/>"
                         "<AggMeasure name=\"[Measures].[Amount]\" column=\"amount\"/>"
                         "<AggMeasure name=\"[Measures].[Quantity]\" column=\"quantity\"/>"
                         "</AggName>"
                       : "")
        << "</Table>\n"
        << Dimension("Customer", "customer_id",
                     "<Level name=\"Region\" column=\"region\" uniqueMembers=\"true\"/>"
                     "<Level name=\"Name\" column=\"name\" uniqueMembers=\"true\"/>",
                     "customers", "customer_id")
        << Dimension("Day", "day_id", kDayLevels, "days", "day_id")
        << Dimension("Product", "product_id",
                     "<Level name=\"Category\" column=\"category\" uniqueMembers=\"true\"/>"
                     "<Level name=\"Product\" column=\"name\" uniqueMembers=\"true\"/>",
                     "products", "product_id")
        << "<Measure name=\"Amount\" column=\"amount\" aggregator=\"sum\"/>"
           "<Measure name=\"Quantity\" column=\"quantity\" aggregator=\"sum\"/>"
           "</Cube></Schema>\n";
}

// What a child reports back (trivially copyable: it crosses a pipe).
struct QueryRuns {
    double First = 0, Again = 0, FirstSql = 0;
    long Rows = 0, Checked = 0, SqlQueriesAgain = -1;
    char Failure[512] = {};
};

// Every cell of `cells` against sqlite3's answer in `answerPath` ("name|day|amount|quantity").
bool Check(const CADOMDCellSet& cells, const std::string& answerPath, QueryRuns& runs) {
    std::unordered_map<std::string, std::pair<double, double>> answer;
    std::ifstream in(answerPath);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, '|');) f.push_back(field);
        if (f.size() == 4)
            answer[f[0] + "|" + f[1]] = {std::atof(f[2].c_str()), std::atof(f[3].c_str())};
    }
    const auto& rows = cells.Axis(1).Positions;
    runs.Rows = static_cast<long>(rows.size());
    if (rows.size() != answer.size()) {
        std::snprintf(runs.Failure, sizeof runs.Failure, "%zu rows, sqlite3 has %zu", rows.size(),
                      answer.size());
        return false;
    }
    for (size_t r = 0; r < rows.size(); ++r) {
        const std::string key = rows[r].Members[0].Caption + "|" + rows[r].Members[1].Caption;
        const auto found = answer.find(key);
        const double expected[2] = {found == answer.end() ? NAN : found->second.first,
                                    found == answer.end() ? NAN : found->second.second};
        for (int c = 0; c < 2; ++c) {
            const double value = cells.Cell(static_cast<long>(r) * 2 + c).Value.AsDouble();
            if (!(std::fabs(value - expected[c]) <= 1e-6 * std::max(1.0, std::fabs(value)))) {
                std::snprintf(runs.Failure, sizeof runs.Failure,
                              "%s, measure %d: %.4f, sqlite3 %.4f", key.c_str(), c, value,
                              expected[c]);
                return false;
            }
            ++runs.Checked;
        }
    }
    return true;
}

// The query twice on one connection in a fresh child: cold, then from the warm cell cache.
QueryRuns RunQuery(const std::string& connection, const std::string& answerPath, long& peak) {
    struct rusage usage {};
    QueryRuns result = RunInChild<QueryRuns>(
        [&](QueryRuns& runs) {
            orvik::AppContext context(
                orvik::AppContextOptions{"/tmp/", "/tmp/orvik-cubescale.ini", nullptr});
            // Held as a run's data source holds it, so that the second query finds its cells.
            const auto held = orvik::OpenOlapConnection(connection);
            for (int run = 0; run < 2; ++run) {
                CADOMDCellSet cells;
                const double start = WallSeconds();
                try {
                    cells.Open(kMdx, connection);
                } catch (const CADOException& error) {
                    std::snprintf(runs.Failure, sizeof runs.Failure, "%s",
                                  error.GetErrorMessage().c_str());
                    return;
                }
                (run == 0 ? runs.First : runs.Again) = WallSeconds() - start;
                if (run == 0) runs.FirstSql = orvik::LastCubeQueryTimings().SqlSeconds;
                if (run == 1) runs.SqlQueriesAgain = orvik::LastCubeQueryTimings().SqlQueries;
                if (run == 0 && !Check(cells, answerPath, runs)) return;
            }
        },
        usage);
    peak = usage.ru_maxrss;
    return result;
}

// One whole `orvik /act` run of `report`; its wall time, or a negative number when it failed.
double RunOrvik(const std::string& orvik, const std::string& scratch, const std::string& report) {
    const std::string home = scratch + "/home";
    std::error_code error;
    fs::remove_all(home, error);
    fs::create_directories(home);
    const ProcessRun run = RunProcess({orvik, report, std::string("/act:") + kTask},
                                      {"ORVIK_HOME=" + home, "ORVIK_CONFIG=" + home + "/orvik.ini"},
                                      scratch + "/orvik.out", scratch + "/orvik.out");
    return run.Succeeded() ? run.WallSeconds : -1;
}

void Scale(const std::string& scratch, long rows, int runs, const std::string& orvik) {
    const std::string database = scratch + "/scale.db";
    struct rusage usage {};
    const double built = WallSeconds();
    RunInChild<int>([&](int& ok) { MakeStar(database, rows), ok = 1; }, usage);
    std::printf("%ld fact rows (star and aggregate table built in %.1f s)\n", rows,
                WallSeconds() - built);
    const std::string answer = scratch + "/answer.txt";
    std::vector<double> peer;
    for (int run = 0; run < runs; ++run)
        peer.push_back(RunProcess({"sqlite3", database, kSql}, {}, answer).WallSeconds);
    const double groupBy = MedianOf(peer);
    std::printf("  sqlite3 GROUP BY over the facts (process)  %8.3f s median\n", groupBy);

    for (const bool aggregates : {false, true}) {
        const std::string schema = scratch + (aggregates ? "/agg.xml" : "/facts.xml");
        WriteSchema(schema, aggregates);
        const std::string connection =
            "Provider=Orvik.Cube;Data Source=" + database + ";Catalog=" + schema;
        const char* what = aggregates ? "with the aggregate table" : "over the fact table";
        long peak = 0;
        const QueryRuns query = RunQuery(connection, answer, peak);
        if (query.Failure[0]) {
            std::printf("  MDX %s FAILED: %s\n", what, query.Failure);
            continue;
        }
        std::printf(
            "  MDX %-24s first %8.3f s  ratio %5.2f;  again %7.4f s (%.3f of the first, "
            "%ld SQL queries); %ld rows, %ld cells agree; peak %.0f MiB\n",
            what, query.First, query.First / groupBy, query.Again, query.Again / query.First,
            query.SqlQueriesAgain, query.Rows, query.Checked, peak / 1024.0);
        if (orvik.empty()) continue;
        const std::string report = scratch + "/scale.ovk";
        WriteCubeReport(report, connection, "Sales", kMdx, kTask);
        std::vector<double> ours, theirs;
        for (int run = 0; run < runs; ++run) {
            const double mine = RunOrvik(orvik, scratch, report);
            const double page =
                RunProcess({"sqlite3", "-html", database, kSql}, {}, scratch + "/peer.html")
                    .WallSeconds;
            if (mine < 0) {
                std::printf("  orvik /act FAILED (see %s/home/Orvik18.log)\n", scratch.c_str());
                break;
            }
            ours.push_back(mine);
            theirs.push_back(page);
        }
        if (!ours.empty())
            std::printf(
                "  whole process %-24s orvik /act %8.3f s, sqlite3 -html %8.3f s   "
                "ratio %5.2f\n",
                what, MedianOf(ours), MedianOf(theirs), MedianOf(ours) / MedianOf(theirs));
    }
    std::error_code error;
    if (!std::getenv("ORVIK_BENCH_KEEP")) fs::remove(database, error);
}

// --- the probes ----------------------------------------------------------------------------------

// 200,000 facts over four role-playing days (order, ship, due, pay) and 5,000,000 customers.
void MakeProbe(const std::string& path) {
    std::ofstream(path, std::ios::trunc).close();
    orvik::AppContext context(orvik::AppContextOptions{"/tmp/", path + ".ini", nullptr});
    CADODatabase db;
    db.Open("Provider=SQLite;Data Source=" + path);
    MakeDays(db);
    MakeCustomers(db, 5000000);
    db.Execute(
        "CREATE TABLE facts (customer_id INTEGER, order_day INTEGER, ship_day INTEGER, "
        "due_day INTEGER, pay_day INTEGER, quantity INTEGER)");
    db.Execute("INSERT INTO facts " + Counted("1", 200000) + "SELECT 1 + " +
               Spread("x", "2654435761", 5000000) + ", " + Spread("x", "3266489917", 365) + ", " +
               Spread("x", "2246822519", 365) + ", " + Spread("x", "668265263", 365) + ", " +
               Spread("x", "374761393", 365) + ", 1 + x % 9 FROM c");
}

void WriteProbeSchema(const std::string& path) {
    std::ofstream out(path, std::ios::trunc);
    out << "<?xml version=\"1.0\"?>\n<Schema name=\"Probe\"><Cube name=\"Orders\">"
        << "<Table name=\"facts\"/>\n";
    for (std::string day : {"Order", "Ship", "Due", "Pay"}) {
        std::string key = day + "_day";
        key[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(key[0])));
        out << Dimension(day + " Day", key, kDayLevels, "days", "day_id");
    }
    out << Dimension("Customer", "customer_id",
                     "<Level name=\"Name\" column=\"name\" uniqueMembers=\"true\"/>", "customers",
                     "customer_id")
        << "<Measure name=\"Quantity\" column=\"quantity\" aggregator=\"sum\"/></Cube></Schema>\n";
}

struct ProbeRun {
    double Seconds = 0;
    long Tuples = 0;
    char Outcome[300] = {};
};

void Probe(const std::string& connection, const char* name, const std::string& mdx) {
    struct rusage usage {};
    const ProbeRun run = RunInChild<ProbeRun>(
        [&](ProbeRun& out) {
            orvik::AppContext context(
                orvik::AppContextOptions{"/tmp/", "/tmp/orvik-cubeprobe.ini", nullptr});
            CADOMDCellSet cells;
            const double start = WallSeconds();
            try {
                cells.Open(mdx, connection);
                out.Tuples = cells.AxisCount() > 1
                                 ? static_cast<long>(cells.Axis(1).Positions.size())
                                 : static_cast<long>(cells.Cell(0).Value.AsDouble());
                std::snprintf(out.Outcome, sizeof out.Outcome, "answered");
            } catch (const CADOException& error) {
                std::snprintf(out.Outcome, sizeof out.Outcome, "%s",
                              error.GetErrorMessage().c_str());
            }
            out.Seconds = WallSeconds() - start;
        },
        usage);
    const double mib = usage.ru_maxrss / 1024.0;
    std::printf("  %-44s %7.2f s %7.0f MiB  %s  %ld tuples: %s\n", name, run.Seconds, mib,
                run.Seconds < 2 && mib < 300 ? "within 2 s / 300 MB" : "OVER 2 s / 300 MB  ",
                run.Tuples, run.Outcome);
}

}  // namespace

int main(int argc, char** argv) {
    BenchArguments arguments;
    if (!ParseBenchArguments(argc, argv, "CubeScaleBench", {1000000, 10000000}, arguments))
        return 2;
    std::string orvik = arguments.Orvik.empty() ? ProgramNextToUs() : arguments.Orvik;
    orvik = access(orvik.c_str(), X_OK) == 0 ? fs::absolute(orvik).string() : std::string();
    std::string scratch = (fs::temp_directory_path() / "orvik-cubescale-XXXXXX").string();
    if (!mkdtemp(scratch.data())) return 2;

    std::printf("query: %s\npeer:  sqlite3 scale.db \"%s\"\n\n", kMdx, kSql);
    for (const long rows : arguments.Sizes) Scale(scratch, rows, arguments.Runs, orvik);

    if (const char* probes = std::getenv("ORVIK_CUBE_PROBES"); probes && *probes == '0') return 0;
    std::printf("\nprobes (200,000 facts, four role-playing days, 5,000,000 customers):\n");
    const std::string probe = scratch + "/probe.db";
    struct rusage usage {};
    RunInChild<int>([&](int& ok) { MakeProbe(probe), ok = 1; }, usage);
    const std::string schema = scratch + "/probe.xml";
    WriteProbeSchema(schema);
    const std::string connection =
        "Provider=Orvik.Cube;Data Source=" + probe + ";Catalog=" + schema;
    const std::string quantity = "SELECT {[Measures].[Quantity]} ON COLUMNS, ";
    Probe(connection, "NON EMPTY order x ship x due days",
          quantity +
              "NON EMPTY Crossjoin([Order Day].[Day].Members, [Ship Day].[Day].Members, "
              "[Due Day].[Day].Members) ON ROWS FROM [Orders]");
    Probe(connection, "NON EMPTY order x ship x due x pay days",
          quantity +
              "NON EMPTY Crossjoin([Order Day].[Day].Members, [Ship Day].[Day].Members, "
              "[Due Day].[Day].Members, [Pay Day].[Day].Members) ON ROWS FROM [Orders]");
    Probe(connection, "order x ship x due days, without NON EMPTY",
          quantity +
              "Crossjoin([Order Day].[Day].Members, [Ship Day].[Day].Members, "
              "[Due Day].[Day].Members) ON ROWS FROM [Orders]");
    Probe(connection, "Count(Distinct(order x ship days)), 133,225",
          "WITH MEMBER [Measures].[N] AS Count(Distinct(Crossjoin([Order Day].[Day].Members, "
          "[Ship Day].[Day].Members))) SELECT {[Measures].[N]} ON COLUMNS FROM [Orders]");
    Probe(connection, "Count(Order(1,065,800 tuples by name))",
          "WITH MEMBER [Measures].[N] AS Count(Order(Crossjoin([Order Day].[Day].Members, "
          "[Ship Day].[Day].Members, Head([Due Day].[Day].Members, 8)), "
          "[Ship Day].CurrentMember.Name, BASC)) SELECT {[Measures].[N]} ON COLUMNS FROM [Orders]");
    Probe(connection, "NON EMPTY 5,000,000 customers x 365 days",
          quantity +
              "NON EMPTY Crossjoin([Customer].[Name].Members, [Order Day].[Day].Members) "
              "ON ROWS FROM [Orders]");
    std::error_code error;
    if (!std::getenv("ORVIK_BENCH_KEEP")) fs::remove_all(scratch, error);
    return 0;
}
