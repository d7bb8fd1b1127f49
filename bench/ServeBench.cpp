// The report server under load, as browsers meet it: the real `orvik serve` on a loopback port,
// 32 clients asking for 8 reports with random values for 30 s, every page checked for exactly the
// numbers of its own values (each report writes its values and its SQL results into its grid, so
// a page of another request's run is caught). Once with every request rendered (--cache 0) and
// once with pages cached; requests per second and latency percentiles of each, the server's
// memory at idle, after the load and once the finished runs are let go. Then one uncached request
// for the example report at a time next to `orvik Sales.ovk /act:Daily` as a whole process.
//
//   ServeBench [--seconds N] [--clients N] [--orvik PATH]      (default: 30 s, 32 clients)
#include <curl/curl.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int kReports = 8;
const char* const kRegions[] = {"North", "South", "East", "West"};
const std::pair<const char*, const char*> kRanges[] = {
    {"2025-12-10", "2026-01-31"}, {"2026-01-01", "2026-03-31"}, {"2026-02-15", "2026-06-30"},
    {"2026-04-01", "2026-09-30"}, {"2026-06-01", "2026-12-01"}, {"2025-12-09", "2026-12-08"}};
constexpr int kRanges_ = 6;

size_t Collect(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

long Get(CURL* curl, const std::string& url, std::string& body) {
    body.clear();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 120L);
    long status = 0;
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

// Report k: its number, its values and what SQL gives for them, all in one grid row.
std::string LoadReport(int k, const std::string& database) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<root><DS><Name>Q</Name><tpDS>SQL</tpDS>"
           "<DSN>Provider=SQLite;Data Source=" +
           database + "</DSN><Qry>select 'K" + std::to_string(k) +
           ":' || '`Region' || ':' || '`From' || ':' || '`Day' as what, 'N' || count(*) as orders, "
           "'R' || printf('%.2f', sum(s.amount) * " +
           std::to_string(k + 1) +
           ") as revenue from sales s join regions r on r.id = s.region_id where r.name = "
           "'`Region' and s.sale_date between '`From' and '`Day'</Qry></DS>"
           "<SHEET><Name>Q</Name><cDS>Q</cDS><tpVW>GRID</tpVW><bVis>1</bVis></SHEET>"
           "<PRM><Name>Region</Name><Type>pcmb</Type><PrmVal>North</PrmVal>"
           "<cmbels>North;South;East;West</cmbels></PRM>"
           "<PRM><Name>From</Name><Type>date</Type><PrmVal>2026-01-01</PrmVal></PRM>"
           "<PRM><Name>Day</Name><Type>date</Type><PrmVal>2026-02-01</PrmVal></PRM></root>\n";
}

struct Expected {
    std::string orders;
    std::string revenue;
};

std::map<std::string, Expected> ExpectedRows(const std::string& database) {
    std::map<std::string, Expected> rows;
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    for (int k = 0; k < kReports; ++k)
        for (const char* region : kRegions)
            for (const auto& [from, day] : kRanges) {
                const std::string sql =
                    "select 'N' || count(*), 'R' || printf('%.2f', sum(s.amount) * " +
                    std::to_string(k + 1) +
                    ") from sales s join regions r on r.id = s.region_id "
                    "where r.name = '" +
                    region + "' and s.sale_date between '" + from + "' and '" + day + "'";
                sqlite3_stmt* statement = nullptr;
                sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
                sqlite3_step(statement);
                rows["K" + std::to_string(k) + ":" + region + ":" + from + ":" + day] = {
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)),
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, 1))};
                sqlite3_finalize(statement);
            }
    sqlite3_close(db);
    return rows;
}

class Server {
  public:
    Server(const std::string& orvik, const std::vector<std::string>& arguments) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], STDERR_FILENO);
            std::vector<std::string> all = {orvik, "serve"};
            all.insert(all.end(), arguments.begin(), arguments.end());
            std::vector<char*> argv;
            for (std::string& argument : all) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(orvik.c_str(), argv.data());
            _exit(127);
        }
        close(fds[1]);
        errors_ = fds[0];
        std::string seen;
        const double end = WallSeconds() + 20;
        while (port_ == 0 && WallSeconds() < end) {
            seen += Drain(100);
            const size_t at = seen.find("listening on http://");
            const size_t slash = at == std::string::npos ? at : seen.find("/ ", at + 20);
            if (slash != std::string::npos)
                port_ = std::atoi(seen.c_str() + seen.rfind(':', slash) + 1);
        }
        if (port_ == 0) std::fprintf(stderr, "the server did not start: %s\n", seen.c_str());
        // The log lines are read away on a thread of their own, so the pipe never fills.
        reader_ = std::thread([this] {
            while (!stopped_) Drain(200);
        });
    }
    ~Server() {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        stopped_ = true;
        reader_.join();
        close(errors_);
    }
    int Port() const { return port_; }
    // Resident memory in KiB.
    long Memory() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
        return -1;
    }

  private:
    std::string Drain(int waitMs) {
        std::string got;
        pollfd ready{errors_, POLLIN, 0};
        while (poll(&ready, 1, waitMs) > 0) {
            char buffer[65536];
            const ssize_t n = read(errors_, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<size_t>(n));
            waitMs = 0;
        }
        return got;
    }
    pid_t pid_ = -1;
    int errors_ = -1;
    int port_ = 0;
    std::atomic<bool> stopped_{false};
    std::thread reader_;
};

double Percentile(std::vector<double>& values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * values.size()))];
}

struct LoadResult {
    long requests = 0;
    long wrong = 0;
    std::vector<double> latencies;
};

LoadResult Load(int port, int clients, double seconds,
                const std::map<std::string, Expected>& expected) {
    std::vector<LoadResult> results(static_cast<size_t>(clients));
    std::vector<std::thread> threads;
    const double end = WallSeconds() + seconds;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            std::mt19937 random(static_cast<unsigned>(c * 7919 + 1));
            CURL* curl = curl_easy_init();
            LoadResult& mine = results[static_cast<size_t>(c)];
            std::string body;
            while (WallSeconds() < end) {
                const int k = static_cast<int>(random() % kReports);
                const char* region = kRegions[random() % 4];
                const auto& [from, day] = kRanges[random() % kRanges_];
                const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/r/Load" +
                                        std::to_string(k) + "?Region=" + region + "&From=" + from +
                                        "&Day=" + day;
                const double start = WallSeconds();
                const long status = Get(curl, url, body);
                mine.latencies.push_back((WallSeconds() - start) * 1000);
                ++mine.requests;
                const std::string key =
                    "K" + std::to_string(k) + ":" + region + ":" + from + ":" + day;
                const Expected& want = expected.at(key);
                // Exactly one row, and it is this request's.
                const bool right = status == 200 && body.find(key) != std::string::npos &&
                                   body.find(">" + want.orders + "<") != std::string::npos &&
                                   body.find(">" + want.revenue + "<") != std::string::npos &&
                                   body.find(">K") == body.rfind(">K");
                if (!right) {
                    if (++mine.wrong <= 3)
                        std::fprintf(stderr, "wrong page for %s (status %ld): %.300s\n",
                                     key.c_str(), status, body.c_str());
                }
            }
            curl_easy_cleanup(curl);
        });
    }
    for (std::thread& thread : threads) thread.join();
    LoadResult all;
    for (LoadResult& result : results) {
        all.requests += result.requests;
        all.wrong += result.wrong;
        all.latencies.insert(all.latencies.end(), result.latencies.begin(), result.latencies.end());
    }
    return all;
}

void Report(const char* name, LoadResult result, double seconds) {
    std::printf(
        "%-9s %7ld requests  %7.1f req/s  p50 %7.1f ms  p95 %7.1f ms  p99 %7.1f ms  wrong %ld\n",
        name, result.requests, result.requests / seconds, Percentile(result.latencies, 0.50),
        Percentile(result.latencies, 0.95), Percentile(result.latencies, 0.99), result.wrong);
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 30;
    int clients = 32;
    std::string orvik = ProgramNextToUs();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--seconds")
            seconds = std::atof(argv[i + 1]);
        else if (key == "--clients")
            clients = std::atoi(argv[i + 1]);
        else if (key == "--orvik")
            orvik = argv[i + 1];
    }
    curl_global_init(CURL_GLOBAL_ALL);
    const std::string programFolder = fs::path(orvik).parent_path().string() + "/";
    std::error_code missing;
    const std::string database =
        fs::canonical(programFolder + "examples/sales/sales.db", missing).string();
    if (missing) {
        std::fprintf(stderr,
                     "ServeBench: no example database at %sexamples/sales/sales.db (build the "
                     "whole program first: ninja -C <build>)\n",
                     programFolder.c_str());
        return 2;
    }
    const std::string work =
        fs::temp_directory_path() / ("serve-bench-" + std::to_string(getpid()));
    fs::create_directories(work + "/reports");
    for (int k = 0; k < kReports; ++k)
        std::ofstream(work + "/reports/Load" + std::to_string(k) + ".ovk")
            << LoadReport(k, database);
    std::ifstream example(std::string(ORVIK_SOURCE_DIR) + "/examples/sales/Sales.ovk",
                          std::ios::binary);
    std::string sales((std::istreambuf_iterator<char>(example)), std::istreambuf_iterator<char>());
    const std::string relative = "Data Source=examples/sales/sales.db";
    sales.replace(sales.find(relative), relative.size(), "Data Source=" + database);
    std::ofstream(work + "/reports/Sales.ovk", std::ios::binary) << sales;
    setenv("ORVIK_CONFIG", (work + "/settings.ini").c_str(), 1);
    const auto expected = ExpectedRows(database);

    // The example report as a process, every time from start to exit.
    std::vector<double> process;
    for (int run = 0; run < 7; ++run) {
        const double start = WallSeconds();
        const ProcessRun ran = RunProcess({orvik, work + "/reports/Sales.ovk", "/act:Daily",
                                           "/prm:From=2025-12-09;Day=2026-12-07;Category=Bikes"},
                                          {}, "/dev/null", "/dev/null");
        process.push_back(WallSeconds() - start);
        if (!ran.Succeeded()) std::fprintf(stderr, "orvik /act:Daily failed (%d)\n", ran.Status);
    }
    const std::string reports = work + "/reports";
    for (const int cache : {0, 600}) {
        Server server(orvik, {"--reports", reports, "--listen", "127.0.0.1:0", "--threads", "4",
                              "--cache", std::to_string(cache), "--keep", "5", "--wait", "120"});
        if (server.Port() == 0) return 1;
        CURL* curl = curl_easy_init();
        std::string body;
        const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
        Get(curl, base + "/r/Load0?Region=North", body);
        std::this_thread::sleep_for(std::chrono::seconds(7));
        const long idle = server.Memory();
        if (cache == 0) {
            // One request at a time for the example report, each a new render.
            std::vector<double> served;
            for (int run = 0; run < 7; ++run) {
                const double start = WallSeconds();
                const long status = Get(
                    curl, base + "/r/Sales?Category=Bikes&From=2025-12-09&Day=2026-12-07", body);
                served.push_back(WallSeconds() - start);
                if (status != 200) std::fprintf(stderr, "the example page failed (%ld)\n", status);
            }
            const double ours = MedianOf(served), theirs = MedianOf(process);
            std::printf(
                "example report, one at a time: served %.1f ms, orvik /act:Daily %.1f ms, "
                "ratio %.2f\n",
                ours * 1000, theirs * 1000, ours / theirs);
        }
        const LoadResult result = Load(server.Port(), clients, seconds, expected);
        const long loaded = server.Memory();
        // The runs are let go after --keep seconds; the idle workers notice within a few more.
        std::this_thread::sleep_for(std::chrono::seconds(10));
        Get(curl, base + "/health", body);
        const long after = server.Memory();
        Report(cache == 0 ? "uncached" : "cached", result, seconds);
        std::printf("          memory: idle %ld KiB, after the load %ld KiB, 10 s later %ld KiB\n",
                    idle, loaded, after);
        curl_easy_cleanup(curl);
    }
    fs::remove_all(work);
    return 0;
}
