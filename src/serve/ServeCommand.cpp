#include "serve/ServeCommand.h"

#include <signal.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <stdexcept>

#include "core/Program.h"
#include "http/HttpServer.h"
#include "http/UsersFile.h"
#include "serve/ReportServer.h"
#include "serve/ServeOptions.h"

namespace orvik::serve {
namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitCannotStart = 2;

int Fail(const std::string& reason) {
    std::fprintf(stderr, "orvik serve: %s\n", reason.c_str());
    return kExitCannotStart;
}

// Reads one line from standard input, without echo when it is a terminal.
std::string ReadPassword() {
    termios saved{};
    const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        std::fprintf(stderr, "Password: ");
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string password;
    std::getline(std::cin, password);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fprintf(stderr, "\n");
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
}

// Raises the descriptor limit to what the system allows and returns how many connections fit
// in it, leaving room for the runs' files and databases.
unsigned ConnectionLimit() {
    constexpr rlim_t kWanted = 65536;
    constexpr rlim_t kKeptForRuns = 512;
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    const rlim_t wanted =
        limit.rlim_max == RLIM_INFINITY ? kWanted : std::min(kWanted, limit.rlim_max);
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = wanted;
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) getrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur <= kKeptForRuns + 64) return 64;
    return static_cast<unsigned>(std::min<rlim_t>(limit.rlim_cur - kKeptForRuns, kWanted));
}

}  // namespace

int RunServeCommand(const std::vector<std::string>& arguments) {
    ServeOptions options;
    try {
        options = ParseServeOptions(arguments);
    } catch (const std::invalid_argument& error) {
        return Fail(error.what());
    }
    if (options.help) {
        std::fputs(ServeUsageText().c_str(), stdout);
        return kExitSuccess;
    }
    if (options.hashPassword) {
        const std::string password = ReadPassword();
        if (password.empty()) return Fail("an empty password is not hashed");
        std::printf("%s\n", http::HashPassword(password).c_str());
        return kExitSuccess;
    }
    http::ServerOptions serverOptions;
    std::optional<http::UsersFile> users;
    try {
        serverOptions.listen = http::ParseListenAddress(options.listen);
        if (!options.usersFile.empty()) users = http::UsersFile::Load(options.usersFile);
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
    if (!users && !serverOptions.listen.IsLoopback())
        return Fail("listening on " + serverOptions.listen.ToString() +
                    " needs --users: without them anyone who reaches the address sees every "
                    "report");
    // A request waiting for its run holds its HTTP thread, and with it the other connections
    // that thread serves: enough threads that pages, pictures and the list keep answering while
    // every run is busy.
    serverOptions.threads = std::max(16u, options.threads * 4);
    serverOptions.maxRequestBytes = 1u << 20;
    // Thousands of idle or slow connections must not use up the slots of real requests: as many
    // as the descriptors allow (each costs one), each closed after a short silence.
    serverOptions.connectionLimit = ConnectionLimit();
    serverOptions.idleTimeoutSeconds = 15;
    serverOptions.certFile = options.certFile;
    serverOptions.keyFile = options.keyFile;

    // The signals are taken by this thread alone, before any other starts: runs are stopped
    // through their own flags, in order.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    Program program("", "");
    std::optional<ReportServer> server;
    std::optional<http::HttpServer> listener;
    try {
        server.emplace(program, options, std::move(users));
        listener.emplace(serverOptions, [&server](const http::Request& request) {
            return server->Handle(request);
        });
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
    http::ListenAddress shown = serverOptions.listen;
    shown.port = listener->Port();
    std::fprintf(stderr, "orvik serve: listening on %s://%s/ (reports in %s)\n",
                 listener->Secure() ? "https" : "http", shown.ToString().c_str(),
                 options.reportsFolder.c_str());
    std::fflush(stderr);
    int received = 0;
    sigwait(&signals, &received);
    std::fprintf(stderr, "orvik serve: signal %d, stopping (running reports get %u s)\n", received,
                 options.graceSeconds);
    std::fflush(stderr);
    server->Stop(std::chrono::seconds(options.graceSeconds));
    listener->Stop();
    std::fprintf(stderr, "orvik serve: stopped\n");
    return kExitSuccess;
}

}  // namespace orvik::serve
