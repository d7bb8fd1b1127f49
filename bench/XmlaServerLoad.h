// The server half of XmlaBench: orvik-xmla serving the example sales cube, asked by many clients
// at once for a while, each a client of our own with its own session, each request timed. Every
// reply is checked (its cell count), so that a fast wrong answer does not count as an answer.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "data/AdoException.h"
#include "olap/XmlaClient.h"

namespace xmlaload {

struct LoadResult {
    long Requests = 0;
    long Errors = 0;
    std::string FirstError;
    double Seconds = 0;
    std::vector<double> Latencies;  // milliseconds
};

// A loopback port nobody listens on right now.
inline int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return ntohs(address.sin_port);
}

inline bool Answers(int port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool up = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(s);
    return up;
}

inline double Percentile(std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    const size_t index = std::min(sorted.size() - 1, static_cast<size_t>(p * sorted.size()));
    return sorted[index];
}

// The statements the clients take turns with.
inline const std::vector<const char*>& Queries() {
    static const std::vector<const char*> queries = {
        "SELECT {[Measures].[Amount], [Measures].[Quantity]} ON 0, [Region].[Region].Members ON 1 "
        "FROM [Sales]",
        "SELECT [Time].[Year].Members ON 0, [Product].[Category].Members ON 1 FROM [Sales] WHERE "
        "[Measures].[Orders]",
        "SELECT NON EMPTY CrossJoin([Region].[Region].Members, [Product].[Product].Members) ON 0 "
        "FROM [Sales] WHERE [Measures].[Amount]",
    };
    return queries;
}

// Runs orvik-xmla (`program`) over the cube and `clients` clients for `seconds`.
inline LoadResult Run(const std::string& program, const std::string& sourceDir, int clients,
                      int seconds) {
    LoadResult result;
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("xmla-load-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string database = (folder / "sales.db").string();
    const ProcessRun made =
        RunProcess({"sqlite3", database, ".read " + sourceDir + "/examples/sales/sales.sql"});
    if (!made.Succeeded()) {
        result.FirstError = "sqlite3 could not make the example database: " + made.Describe();
        result.Errors = 1;
        return result;
    }
    fs::copy_file(sourceDir + "/examples/sales/sales-cube.xml", folder / "sales-cube.xml",
                  fs::copy_options::overwrite_existing);
    const int port = FreePort();
    const std::string listen = "127.0.0.1:" + std::to_string(port);
    const std::string log = (folder / "xmla.log").string();
    const pid_t server = fork();
    if (server == 0) {
        // Request lines go to the log file only; the terminal shows the figures.
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, 2);
        execl(program.c_str(), program.c_str(), "--listen", listen.c_str(), "--threads", "4",
              "--log", log.c_str(), "--catalog",
              ("Sales=Data Source=" + database + ";Catalog=" + (folder / "sales-cube.xml").string())
                  .c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 200 && !Answers(port); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));

    // Each query's cell count, as the first answer gives it; later answers must match.
    std::vector<size_t> cells;
    try {
        orvik::xmla::Client probe("Data Source=http://" + listen + "/xmla;Initial Catalog=Sales");
        for (const char* mdx : Queries()) cells.push_back(probe.Execute(mdx).Cells.size());
    } catch (const CADOException& error) {
        result.FirstError = error.what();
        result.Errors = 1;
    }

    std::mutex lock;
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    const auto start = std::chrono::steady_clock::now();
    for (int c = 0; c < clients && result.Errors == 0; ++c)
        threads.emplace_back([&, c] {
            std::vector<double> latencies;
            long errors = 0;
            std::string firstError;
            orvik::xmla::Client client("Data Source=http://" + listen +
                                       "/xmla;Initial Catalog=Sales;Timeout=30");
            for (size_t n = static_cast<size_t>(c); !stop; ++n) {
                const size_t q = n % Queries().size();
                const auto begin = std::chrono::steady_clock::now();
                try {
                    const size_t got = client.Execute(Queries()[q]).Cells.size();
                    if (got != cells[q]) {
                        ++errors;
                        if (firstError.empty())
                            firstError = "query " + std::to_string(q) + " gave " +
                                         std::to_string(got) + " cells, not " +
                                         std::to_string(cells[q]);
                    }
                } catch (const CADOException& error) {
                    ++errors;
                    if (firstError.empty()) firstError = error.what();
                }
                latencies.push_back(std::chrono::duration<double, std::milli>(
                                        std::chrono::steady_clock::now() - begin)
                                        .count());
            }
            std::lock_guard<std::mutex> hold(lock);
            result.Requests += static_cast<long>(latencies.size());
            result.Errors += errors;
            if (result.FirstError.empty()) result.FirstError = firstError;
            result.Latencies.insert(result.Latencies.end(), latencies.begin(), latencies.end());
        });
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stop = true;
    for (std::thread& thread : threads) thread.join();
    result.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    kill(server, SIGTERM);
    int status = 0;
    waitpid(server, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ++result.Errors;
        if (result.FirstError.empty()) result.FirstError = "orvik-xmla did not stop cleanly";
    }
    std::sort(result.Latencies.begin(), result.Latencies.end());
    fs::remove_all(folder);
    return result;
}

}  // namespace xmlaload
