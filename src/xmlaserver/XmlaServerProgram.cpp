#include "xmlaserver/XmlaServerProgram.h"

#include <signal.h>

#include <cstdio>
#include <ctime>
#include <iostream>
#include <mutex>

#include "core/Log.h"
#include "core/Paths.h"
#include "core/StateFolder.h"
#include "data/AdoException.h"
#include "http/HttpServer.h"
#include "http/UsersFile.h"
#include "olap/CubeEngine.h"
#include "xmlaserver/XmlaEndpoint.h"
#include "xmlaserver/XmlaServerOptions.h"
#include "xmlaserver/XmlaService.h"

namespace orvik::xmla {
namespace {

// Where request lines go: the log file and standard error, one whole line at a time.
class RequestLog {
  public:
    explicit RequestLog(std::string path) : path_(std::move(path)) {}
    void Write(const std::string& line) {
        std::lock_guard<std::mutex> hold(lock_);
        AppendLogLine(path_, line, __LINE__);
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::mutex lock_;
};

std::string DefaultLogPath() {
    const std::string program = ResolveProgramFolder();
    StateFolderChoice choice = ChooseStateFolder(program);
    if (choice.Moved) {
        std::string problem;
        if (MakeStateFolder(choice.Folder, problem) == StateFolderMade::Failed) {
            std::fprintf(stderr, "%s\n", MovedStateNotice(program, choice.Folder, problem).c_str());
            choice.Folder = program;
        }
    }
    return choice.Folder + "Orvik18.log";
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "orvik-xmla: %s\n", message.c_str());
    return 1;
}

}  // namespace

int RunXmlaServer(const std::vector<std::string>& arguments) {
    ServerOptions options;
    try {
        options = ParseServerOptions(arguments);
    } catch (const OptionsError& error) {
        std::fprintf(stderr, "orvik-xmla: %s\n", error.what());
        return 2;
    }
    if (options.Help) {
        std::fputs(ServerUsage().c_str(), stdout);
        return 0;
    }
    http::ServerOptions http;
    try {
        http.listen = http::ParseListenAddress(options.Listen);
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "orvik-xmla: --listen: %s\n", error.what());
        return 2;
    }
    const bool tls = !options.CertFile.empty();
    if (!options.UsersFile.empty() && !tls && !http.listen.IsLoopback())
        return Fail("passwords would cross the network in clear: with --users on " +
                    http.listen.ToString() +
                    " give --cert and --key for HTTPS, or listen on a loopback address");
    if (options.UsersFile.empty() && !http.listen.IsLoopback())
        std::fprintf(stderr,
                     "orvik-xmla: warning: no --users file, so anyone who reaches %s may query "
                     "every catalog\n",
                     http.listen.ToString().c_str());

    std::optional<http::UsersFile> users;
    if (!options.UsersFile.empty()) {
        try {
            users = http::UsersFile::Load(options.UsersFile);
        } catch (const std::exception& error) {
            return Fail(error.what());
        }
    }

    const std::string programFolder = ResolveProgramFolder();
    Service service;
    for (const auto& [name, connection] : options.Catalogs) {
        // Copied under a name of its own: clang 14 cannot capture a structured binding.
        service.AddCatalog(name, [connection = connection, programFolder] {
            return OpenCubeConnection(connection, programFolder);
        });
        try {
            // Opened now and kept: the first worker to need it takes it.
            Catalog::Lease first = service.FindCatalog(name)->Borrow();
            first->CubeNames();
        } catch (const CADOException& error) {
            return Fail("the catalog '" + name + "' cannot be opened: " + error.what());
        }
    }

    RequestLog log(options.LogFile.empty() ? DefaultLogPath() : options.LogFile);
    Endpoint endpoint(service, std::move(users),
                      [&log](const std::string& line) { log.Write(line); });

    // The signals are taken by this thread alone: blocked before the server's threads start, so
    // they inherit the mask, and waited for below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    http.threads = options.Threads;
    http.maxRequestBytes = options.MaxRequestBytes;
    http.certFile = options.CertFile;
    http.keyFile = options.KeyFile;
    std::unique_ptr<http::HttpServer> server;
    try {
        server = std::make_unique<http::HttpServer>(
            http, [&endpoint](const http::Request& request) { return endpoint.Handle(request); });
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
    http::ListenAddress shown = http.listen;
    shown.port = server->Port();
    const std::string url =
        std::string(server->Secure() ? "https://" : "http://") + shown.ToString() + "/xmla";
    std::string catalogs;
    for (const auto& [name, connection] : options.Catalogs)
        catalogs += (catalogs.empty() ? "" : ", ") + name;
    log.Write("orvik-xmla listening on " + url + " (catalogs " + catalogs + ", " +
              std::to_string(options.Threads) + " threads" +
              (options.UsersFile.empty() ? ", no login" : ", users from " + options.UsersFile) +
              ")");

    int signal = 0;
    sigwait(&stopSignals, &signal);
    log.Write(std::string("orvik-xmla stopping on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
    server->Stop();
    server.reset();
    log.Write("orvik-xmla stopped");
    return 0;
}

}  // namespace orvik::xmla
