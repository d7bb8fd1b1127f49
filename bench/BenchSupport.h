// What the database benchmarks share: the database they read, ways to run one side in a child
// process of its own (a forked function, or a whole program with its own environment) so that its
// peak memory is its own, and the `sqlite3 -html` peer.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "data/AdoDatabase.h"
#include "model/AppContext.h"

// What a benchmark's command line says: fact-table sizes, runs per size and the program to time.
struct BenchArguments {
    std::vector<long> Sizes;
    int Runs = 3;
    std::string Orvik;
};

// A steady clock's reading in seconds, for timing a stretch of work.
inline double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The middle of `values` (the mean of the two middle ones for an even count); 0 for none.
inline double MedianOf(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// `text` fit for an element of a report file.
inline std::string XmlEscaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// The smallest report that does a job: the SQL data source "Orders" running `query` on the SQLite
// file `databasePath`, one grid sheet showing it (titled `title` unless empty), and the task
// `task` whose one step has the elements `step`. Laid out as the program itself saves reports
// (tabs, CR LF), without a layout page, so the sheet goes into the default one.
inline void WriteGridReport(const std::string& reportPath, const std::string& databasePath,
                            const std::string& query, const std::string& task,
                            const std::string& step, const std::string& title = {}) {
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"yes\"?>\r\n"
        "<root>\r\n"
        "\t<DS>\r\n"
        "\t\t<Name>Orders</Name>\r\n"
        "\t\t<tpDS>SQL</tpDS>\r\n"
        "\t\t<DSN>Provider=SQLite;Data Source=" +
        XmlEscaped(databasePath) + "</DSN>\r\n\t\t<Qry>" + XmlEscaped(query) +
        "</Qry>\r\n"
        "\t</DS>\r\n"
        "\t<ACT>\r\n"
        "\t\t<Name>" +
        XmlEscaped(task) +
        "</Name>\r\n"
        "\t</ACT>\r\n"
        "\t<ACT>\r\n"
        "\t\t<ActParent>0</ActParent>\r\n" +
        step +
        "\t</ACT>\r\n"
        "\t<SHEET>\r\n"
        "\t\t<Name>Orders</Name>\r\n"
        "\t\t<cDS>Orders</cDS>\r\n"
        "\t\t<tpVW>GRID</tpVW>\r\n"
        "\t\t<bVis>1</bVis>\r\n" +
        (title.empty() ? std::string() : "\t\t<Title>" + XmlEscaped(title) + "</Title>\r\n") +
        "\t</SHEET>\r\n"
        "</root>\r\n";
    std::ofstream(reportPath, std::ios::binary | std::ios::trunc) << text;
}

// The smallest cube report: the OLAP source "Cube" running the typed-in `mdx` on `cube` over
// `connection`, one grid sheet showing it, and the task `task` whose one step writes the page.
inline void WriteCubeReport(const std::string& reportPath, const std::string& connection,
                            const std::string& cube, const std::string& mdx,
                            const std::string& task) {
    std::ofstream(reportPath, std::ios::binary | std::ios::trunc)
        << "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"yes\"?>\r\n<root>\r\n"
           "\t<DS>\r\n\t\t<Name>Cube</Name>\r\n\t\t<tpDS>OLAP</tpDS>\r\n\t\t<DSN>"
        << XmlEscaped(connection) << "</DSN>\r\n\t\t<bQ>1</bQ>\r\n\t\t<nCube>" << XmlEscaped(cube)
        << "</nCube>\r\n\t\t<Qry>" << XmlEscaped(mdx) << "</Qry>\r\n\t</DS>\r\n"
        << "\t<ACT>\r\n\t\t<Name>" << XmlEscaped(task) << "</Name>\r\n\t</ACT>\r\n"
        << "\t<ACT>\r\n\t\t<ActParent>0</ActParent>\r\n\t\t<Name>Page</Name>\r\n"
           "\t\t<AType>HTML</AType>\r\n\t</ACT>\r\n"
           "\t<SHEET>\r\n\t\t<Name>Cube</Name>\r\n\t\t<cDS>Cube</cDS>\r\n\t\t<tpVW>GRID</tpVW>\r\n"
           "\t\t<bVis>1</bVis>\r\n\t</SHEET>\r\n</root>\r\n";
}

// The program built beside the running benchmark (build/bin/orvik), or "orvik" from the PATH.
inline std::string ProgramNextToUs() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("orvik") : (self.parent_path() / "orvik").string();
}

// Reads "[--runs N] [--orvik PATH] [rows ...]"; prints the usage line for `name` and returns false
// on anything else. Missing sizes are `defaults`; runs are kept between 1 and 15.
inline bool ParseBenchArguments(int argc, char** argv, const char* name, std::vector<long> defaults,
                                BenchArguments& out) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--runs" && i + 1 < argc) {
            out.Runs = std::clamp(std::atoi(argv[++i]), 1, 15);
        } else if (argument == "--orvik" && i + 1 < argc) {
            out.Orvik = argv[++i];
        } else if (const long rows = std::atol(argument.c_str()); rows > 0) {
            out.Sizes.push_back(rows);
        } else {
            std::fprintf(stderr, "usage: %s [--runs N] [--orvik PATH] [rows ...]\n", name);
            return false;
        }
    }
    if (out.Sizes.empty()) out.Sizes = std::move(defaults);
    return true;
}

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

// What one child process cost: its resource usage (`ru_maxrss` is its peak memory), its wall
// time from fork to reaping, and its status as wait4 reported it.
struct ProcessRun {
    struct rusage Usage {};
    double WallSeconds = 0;
    int Status = -1;

    bool Succeeded() const { return WIFEXITED(Status) && WEXITSTATUS(Status) == 0; }
    long PeakKilobytes() const { return Usage.ru_maxrss; }
    double CpuSeconds() const {
        return static_cast<double>(Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec) +
               static_cast<double>(Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) * 1e-6;
    }
    // "exit status 3", "killed by signal 9": what a failed run is reported as.
    std::string Describe() const {
        if (WIFEXITED(Status)) return "exit status " + std::to_string(WEXITSTATUS(Status));
        if (WIFSIGNALED(Status)) return "killed by signal " + std::to_string(WTERMSIG(Status));
        return "wait status " + std::to_string(Status);
    }
};

// Runs `argv` (the program is looked up on PATH) as a child process whose environment is ours with
// the `NAME=value` entries of `environment` set on top. Its standard output goes to the file
// `output` and its standard error to `errors` (the same name sends both to one file); an empty name
// leaves the stream as ours. A child that cannot redirect exits 126, one that cannot start 127.
//
// The child's peak memory counts the pages it had before exec, which are a copy of ours: keep the
// caller small (do heavy work such as building a database in RunInChild) or the figure lies.
inline ProcessRun RunProcess(const std::vector<std::string>& argv,
                             const std::vector<std::string>& environment = {},
                             const std::string& output = {}, const std::string& errors = {}) {
    // Everything the child needs is built before fork, so that it only redirects and execs.
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        const std::string name = variable.substr(0, variable.find('='));
        bool replaced = false;
        for (const std::string& setting : environment)
            replaced = replaced || setting.compare(0, name.size() + 1, name + "=") == 0;
        if (!replaced) variables.push_back(variable);
    }
    variables.insert(variables.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::vector<std::string> arguments = argv;
    std::vector<char*> args;
    for (std::string& argument : arguments) args.push_back(argument.data());
    args.push_back(nullptr);

    std::fflush(nullptr);  // or the child would write the parent's buffered lines again
    ProcessRun run;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const auto redirect = [](const std::string& file, int stream) {
            if (file.empty()) return;
            const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0 || dup2(fd, stream) < 0) _exit(126);
        };
        redirect(output, STDOUT_FILENO);
        if (!errors.empty() && errors == output) {
            if (dup2(STDOUT_FILENO, STDERR_FILENO) < 0) _exit(126);
        } else {
            redirect(errors, STDERR_FILENO);
        }
        execvpe(args[0], args.data(), envp.data());
        _exit(127);
    }
    if (child < 0) return run;
    while (wait4(child, &run.Status, 0, &run.Usage) < 0 && errno == EINTR) {
    }
    run.WallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}

// What one run of the peer, `sqlite3 -html`, cost: its resource usage and wall time, and the size
// of the page it wrote (-1 when it failed).
struct SqliteHtmlRun {
    struct rusage Usage {};
    double WallSeconds = 0;
    long long PageBytes = -1;
};

// Runs `sqlite3 -html` on `query` against the database at `path`, so the peer pays for writing its
// page as we do. The page goes to `page` and stays there when a name is given; otherwise it goes
// next to the database and is removed afterwards.
inline SqliteHtmlRun RunSqliteHtml(const std::string& path, const char* query,
                                   const std::string& page = {}) {
    const std::string output = page.empty() ? path + ".html" : page;
    const ProcessRun process = RunProcess({"sqlite3", "-html", path, query}, {}, output);
    SqliteHtmlRun run;
    run.Usage = process.Usage;
    run.WallSeconds = process.WallSeconds;
    std::error_code error;
    if (process.Succeeded())
        run.PageBytes = static_cast<long long>(std::filesystem::file_size(output, error));
    if (error) run.PageBytes = -1;
    if (page.empty()) std::filesystem::remove(output, error);
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
