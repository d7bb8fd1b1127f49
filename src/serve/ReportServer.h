// What the report server answers: the routes of its pages, downloads and tasks, who may see which
// report, and one log line per request. The HTTP server hands every request to Handle on its
// threads; renders run on the render pool.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "http/HttpServer.h"
#include "http/UsersFile.h"
#include "serve/RenderPool.h"
#include "serve/ReportCatalog.h"
#include "serve/ServeOptions.h"
#include "serve/ServePages.h"
#include "serve/SessionStore.h"

namespace orvik {
class Program;
}

namespace orvik::serve {

class ReportServer {
  public:
    // Throws std::runtime_error when the reports folder cannot be read.
    ReportServer(Program& program, const ServeOptions& options,
                 std::optional<http::UsersFile> users);
    ~ReportServer();

    http::Response Handle(const http::Request& request);

    // From now on requests are answered 503 and waits for runs end at once; then the runs get
    // `grace` to finish before they are stopped.
    void Stop(std::chrono::seconds grace);

    struct Call;  // one request on its way through (who asks, what goes to the log)

  private:
    using Route = http::Response (ReportServer::*)(const http::Request&, Call&);
    struct RouteEntry {
        const char* method;
        const char* prefix;  // a path equal to it, or under it when it ends with "/"
        bool needsLogin;
        Route route;
    };
    static const std::vector<RouteEntry>& Routes();

    http::Response Health(const http::Request&, Call&);
    http::Response LoginForm(const http::Request&, Call&);
    http::Response Login(const http::Request&, Call&);
    http::Response Logout(const http::Request&, Call&);
    http::Response List(const http::Request&, Call&);
    http::Response ReportGet(const http::Request&, Call&);
    http::Response ReportPost(const http::Request&, Call&);
    http::Response RunGet(const http::Request&, Call&);

    // The report `name` when it exists and the caller may see it.
    std::optional<ReportFile> Visible(const std::string& name, const Call& call) const;
    bool MaySeeFolder(const Call& call, const std::string& folder) const;
    std::shared_ptr<const ReportDescription> Describe(const ReportFile& file);
    // Renders or joins the render of `file` with the query's values.
    http::Response Render(const http::Request& request, Call& call, const ReportFile& file,
                          const std::string& download);
    http::Response JobResponse(const std::shared_ptr<RenderJob>& job, Call& call,
                               const std::string& download);
    http::Response JobPage(const std::shared_ptr<RenderJob>& job, Call& call);
    http::Response JobFile(const std::shared_ptr<RenderJob>& job, Call& call,
                           const std::string& file);
    // Waits for `job` in short slices, so a stopping server does not wait; true when it ended.
    bool WaitFor(const std::shared_ptr<RenderJob>& job, std::chrono::milliseconds limit) const;
    void WriteLogLine(const http::Request& request, const Call& call, int status,
                      double milliseconds) const;

    Program& program_;
    const ServeOptions options_;
    const std::optional<http::UsersFile> users_;
    ReportCatalog catalog_;
    RenderPool pool_;
    SessionStore sessions_;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    struct CachedDescription {
        std::string version;
        std::chrono::steady_clock::time_point read;
        std::shared_ptr<const ReportDescription> description;
    };
    std::map<std::string, CachedDescription> descriptions_;
    std::map<std::string, std::string> lastRendered_;
    mutable std::mutex logMutex_;
};

}  // namespace orvik::serve
