// What the database benchmarks share: the database they read, a way to run one side in a child
// process of its own (so that its peak memory is its own), and the `sqlite3 -html` peer.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "data/AdoDatabase.h"
#include "model/AppContext.h"

// `rows` rows of eight columns of every common type (integers, reals, decimals, dates, short and
// longer texts), made with one recursive query so that building a million rows takes seconds.
inline void MakeDatabase(const std::string& path, long rows) {
    std::ofstream(path, std::ios::trunc).close();
    orvik::AppContext context(orvik::AppContextOptions{"/tmp/", path + ".ini", nullptr});
    CADODatabase db;
    db.Open("Provider=SQLite;Data Source=" + path);
    db.Execute(
        "CREATE TABLE t (id integer, qty integer, price double precision, amount numeric(12,2), "
        "day date, name varchar(30), city varchar(20), note text)");
    db.Execute(
        "INSERT INTO t WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
        "WHERE x < " +
        std::to_string(rows) +
        ") SELECT x, x % 97, (x % 100000) * 1.25, (x % 7919) * 3.5, "
        "date('2024-01-01', '+' || (x % 365) || ' days'), 'Customer ' || (x % 5000), "
        "CASE x % 3 WHEN 0 THEN 'Moscow' WHEN 1 THEN 'Kazan' ELSE 'Omsk' END, "
        "'order note ' || x FROM c");
}

// What one run of the peer, `sqlite3 -html`, cost: its resource usage and wall time, and the size
// of the page it wrote (-1 when it failed).
struct SqliteHtmlRun {
    struct rusage Usage {};
    double WallSeconds = 0;
    long long PageBytes = -1;
};

// Runs `sqlite3 -html` on `query` against the database at `path`, its page going to a file that
// is removed afterwards, so the peer pays for writing its page as we do.
inline SqliteHtmlRun RunSqliteHtml(const std::string& path, const char* query) {
    const std::string output = path + ".html";
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (!std::freopen(output.c_str(), "w", stdout)) _exit(4);
        execlp("sqlite3", "sqlite3", "-html", path.c_str(), query, static_cast<char*>(nullptr));
        _exit(127);
    }
    SqliteHtmlRun run;
    int status = 0;
    wait4(child, &status, 0, &run.Usage);
    run.WallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::error_code error;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        run.PageBytes = static_cast<long long>(std::filesystem::file_size(output, error));
    }
    std::filesystem::remove(output, error);
    return run;
}

// Runs `work(result)` in a forked child and returns the `Result` (a trivially copyable struct)
// the child filled in; `usage` receives the child's resource usage.
template <typename Result, typename Work>
Result RunInChild(Work work, struct rusage& usage) {
    std::fflush(stdout);  // or the child would print the parent's buffered lines again
    int channel[2];
    if (pipe(channel) != 0) std::exit(2);
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        Result result{};
        work(result);
        if (write(channel[1], &result, sizeof result) != sizeof result) _exit(3);
        _exit(0);
    }
    close(channel[1]);
    Result result{};
    if (read(channel[0], &result, sizeof result) != sizeof result)
        std::fprintf(stderr, "child failed\n");
    close(channel[0]);
    int status = 0;
    wait4(child, &status, 0, &usage);
    return result;
}
