#include "serve/ReportServer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "app/WorkFolders.h"
#include "core/LogText.h"
#include "core/Program.h"
#include "params/ParameterValueList.h"

namespace orvik::serve {

struct ReportServer::Call {
    Viewer viewer;
    const http::UserEntry* user = nullptr;  // null when nobody logs in (all folders, no tasks)
    std::string sessionToken;
    std::string report;
    Values values;  // as the log shows them
    long long rows = -1;
};

namespace {

constexpr char kSessionCookie[] = "orvik_session";
constexpr char kLoginCookie[] = "orvik_login";
// How long a download waits for its render.
constexpr std::chrono::milliseconds kDownloadWait{300000};
// A report's parameters and lists are read again after this long, or when the file changes.
constexpr std::chrono::seconds kDescriptionAge{30};

struct Download {
    const char* suffix;
    const char* contentType;
};
const Download kDownloads[] = {
    {".xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    {".csv", "text/csv; charset=utf-8"},
    {".pdf", "application/pdf"},
};

// The files of a run folder a browser may fetch, by extension.
const std::map<std::string, std::string>& ServedTypes() {
    static const std::map<std::string, std::string> types = {
        {".png", "image/png"},
        {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},
        {".gif", "image/gif"},
        {".svg", "image/svg+xml"},
        {".webp", "image/webp"},
        {".css", "text/css"},
        {".xlsx", kDownloads[0].contentType},
        {".csv", kDownloads[1].contentType},
        {".pdf", kDownloads[2].contentType},
    };
    return types;
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string Extension(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    std::string extension = name.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

std::string Leaf(const std::string& name) {
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

http::Response Page(int status, std::string html) {
    http::Response response = http::Response::Html(status, std::move(html));
    response.headers.push_back({"Cache-Control", "no-store"});
    response.headers.push_back({"X-Frame-Options", "DENY"});
    response.headers.push_back({"Referrer-Policy", "same-origin"});
    return response;
}

std::string Cookie(const std::string& name, const std::string& value, const std::string& path,
                   bool secure, bool expire = false) {
    return name + "=" + value + "; Path=" + path + "; HttpOnly; SameSite=Strict" +
           (secure ? "; Secure" : "") + (expire ? "; Max-Age=0" : "");
}

// The values a request gives: query arguments whose names do not start with "_", empty ones left
// out (the report's own value stays); the entries of a parameter that takes several at once
// become one "[a],[b]" value. Sorted by name, so the same values in another order are the same
// request.
Values CollectValues(const http::NameValues& query, const ReportDescription& description) {
    std::map<std::string, std::vector<std::string>> byName;
    for (const auto& [name, value] : query) {
        if (name.empty() || name.front() == '_' || value.empty()) continue;
        byName[name].push_back(value);
    }
    Values values;
    for (const auto& [name, entries] : byName) {
        const auto parameter =
            std::find_if(description.parameters.begin(), description.parameters.end(),
                         [&wanted = name](const FormParameter& p) { return p.name == wanted; });
        const bool multiple = parameter != description.parameters.end() && parameter->multiple;
        values.push_back(
            {name, multiple && entries.size() > 1 ? EncodeMultiValue(entries) : entries.front()});
    }
    return values;
}

std::string RenderKey(const ReportFile& file, const Values& values, bool pdf) {
    std::string key = file.name + '\0' + file.version + '\0' + (pdf ? "pdf" : "page") + '\0';
    for (const auto& [name, value] : values) {
        key +=
            std::to_string(name.size()) + ':' + name + std::to_string(value.size()) + ':' + value;
    }
    return key;
}

std::vector<ParameterAssignment> Assignments(const Values& values) {
    std::vector<ParameterAssignment> assignments;
    for (const auto& [name, value] : values) assignments.push_back({name, value, true});
    return assignments;
}

Values MaskedValues(const Values& values, const ReportDescription* description) {
    Values masked;
    for (const auto& [name, value] : values) {
        const bool secret =
            description ? IsSecretParameterOf(description->parameters, name) : IsSecretName(name);
        masked.push_back({name, secret ? std::string("***") : value});
    }
    return masked;
}

std::string SafeNext(const std::string& next) {
    if (next.size() < 1 || next.front() != '/' || next.rfind("//", 0) == 0 ||
        next.find_first_of("\\\r\n") != std::string::npos)
        return "/";
    return next;
}

}  // namespace

ReportServer::ReportServer(Program& program, const ServeOptions& options,
                           std::optional<http::UsersFile> users)
    : program_(program),
      options_(options),
      users_(std::move(users)),
      catalog_(options.reportsFolder),
      pool_(program, options.threads, options.cacheSeconds, options.keepSeconds) {}

ReportServer::~ReportServer() {
    Stop(std::chrono::seconds(0));
}

void ReportServer::Stop(std::chrono::seconds grace) {
    stopping_ = true;
    pool_.Shutdown(grace);
}

const std::vector<ReportServer::RouteEntry>& ReportServer::Routes() {
    static const std::vector<RouteEntry> routes = {
        {"GET", "/health", false, &ReportServer::Health},
        {"GET", "/login", false, &ReportServer::LoginForm},
        {"POST", "/login", false, &ReportServer::Login},
        {"POST", "/logout", true, &ReportServer::Logout},
        {"GET", "/", true, &ReportServer::List},
        {"GET", "/r/", true, &ReportServer::ReportGet},
        {"POST", "/r/", true, &ReportServer::ReportPost},
        {"GET", "/run/", true, &ReportServer::RunGet},
    };
    return routes;
}

http::Response ReportServer::Handle(const http::Request& request) {
    const auto start = std::chrono::steady_clock::now();
    Call call;
    http::Response response;
    const RouteEntry* chosen = nullptr;
    bool pathKnown = false;
    for (const RouteEntry& route : Routes()) {
        const std::string_view prefix = route.prefix;
        const bool matches = prefix.size() > 1 && prefix.back() == '/'
                                 ? request.path.rfind(prefix, 0) == 0
                                 : request.path == prefix;
        if (!matches) continue;
        pathKnown = true;
        if (request.method == route.method ||
            (request.method == "HEAD" && route.method == std::string("GET"))) {
            chosen = &route;
            break;
        }
    }
    if (stopping_) {
        response = Page(503, MessagePage({}, "Stopping", "The server is stopping."));
    } else if (!chosen) {
        response =
            pathKnown
                ? Page(405, MessagePage({}, "Not allowed", "That method is not allowed here."))
                : Page(404, MessagePage({}, "Not found", "There is no such page."));
    } else {
        if (users_) {
            call.sessionToken = request.Cookie(kSessionCookie);
            if (const auto session = sessions_.Find(call.sessionToken)) {
                call.user = users_->Find(session->user);
                if (call.user) call.viewer = {session->user, session->csrf};
            }
        }
        if (chosen->needsLogin && users_ && !call.user) {
            if (request.method == "GET" || request.method == "HEAD") {
                std::string next = request.rawPath;
                if (!request.query.empty()) {
                    char separator = '?';
                    for (const auto& [name, value] : request.query) {
                        next += separator + UrlEncode(name, true) + "=" + UrlEncode(value, true);
                        separator = '&';
                    }
                }
                response = http::Response::Redirect("/login?next=" + UrlEncode(next, true));
            } else {
                response = Page(403, MessagePage({}, "Log in first", "Log in to do that."));
            }
        } else {
            try {
                response = (this->*(chosen->route))(request, call);
            } catch (const std::exception& error) {
                response = Page(500, MessagePage(call.viewer, "Server error", error.what()));
            }
        }
    }
    const double milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    WriteLogLine(request, call, response.status, milliseconds);
    return response;
}

void ReportServer::WriteLogLine(const http::Request& request, const Call& call, int status,
                                double milliseconds) const {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::string line = std::string(stamp) + " " + EscapeForLog(request.peerAddress) + " " +
                       EscapeForLog(call.viewer.user.empty() ? "-" : call.viewer.user) + " " +
                       EscapeForLog(request.method) + " " + EscapeForLog(request.rawPath) + " " +
                       std::to_string(status);
    char took[32];
    std::snprintf(took, sizeof took, " %.1f ms", milliseconds);
    line += took;
    if (!call.report.empty()) {
        line += " report=" + EscapeForLog(call.report);
        for (const auto& [name, value] : call.values)
            line += " " + EscapeForLog(name) + "=" + EscapeForLog(value);
    }
    if (call.rows >= 0) line += " rows=" + std::to_string(call.rows);
    const std::lock_guard<std::mutex> guard(logMutex_);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

http::Response ReportServer::Health(const http::Request&, Call&) {
    http::Response response = http::Response::Text(200, "ok\n");
    response.headers.push_back({"Cache-Control", "no-store"});
    return response;
}

http::Response ReportServer::LoginForm(const http::Request& request, Call&) {
    if (!users_) return http::Response::Redirect("/");
    const std::string token = RandomToken() + RandomToken();
    http::Response response = Page(200, LoginPage(token, "", SafeNext(request.Query("next"))));
    response.headers.push_back(
        {"Set-Cookie", Cookie(kLoginCookie, token, "/login", request.secure)});
    return response;
}

http::Response ReportServer::Login(const http::Request& request, Call& call) {
    if (!users_) return http::Response::Redirect("/");
    std::string csrf, user, password, next;
    for (const auto& [name, value] : request.Form()) {
        if (name == "csrf") csrf = value;
        if (name == "user") user = value;
        if (name == "password") password = value;
        if (name == "next") next = value;
    }
    if (!SameToken(csrf, request.Cookie(kLoginCookie)))
        return Page(403, MessagePage({}, "Log in again",
                                     "The login form has expired or came from another site."));
    const http::UserEntry* entry = users_->Authenticate(user, password);
    call.viewer.user = user;
    if (!entry) {
        const std::string token = RandomToken() + RandomToken();
        http::Response response =
            Page(401, LoginPage(token, "The user name or the password is wrong.", SafeNext(next)));
        response.headers.push_back(
            {"Set-Cookie", Cookie(kLoginCookie, token, "/login", request.secure)});
        return response;
    }
    const std::string session = sessions_.Create(entry->name);
    http::Response response = http::Response::Redirect(SafeNext(next));
    response.headers.push_back(
        {"Set-Cookie", Cookie(kSessionCookie, session, "/", request.secure)});
    response.headers.push_back(
        {"Set-Cookie", Cookie(kLoginCookie, "", "/login", request.secure, true)});
    return response;
}

http::Response ReportServer::Logout(const http::Request& request, Call& call) {
    std::string csrf;
    for (const auto& [name, value] : request.Form())
        if (name == "csrf") csrf = value;
    if (users_ && !SameToken(csrf, call.viewer.csrf))
        return Page(403, MessagePage(call.viewer, "Not logged out",
                                     "The form came without its token; log out from the page."));
    sessions_.Remove(call.sessionToken);
    http::Response response = http::Response::Redirect(users_ ? "/login" : "/");
    response.headers.push_back(
        {"Set-Cookie", Cookie(kSessionCookie, "", "/", request.secure, true)});
    return response;
}

bool ReportServer::MaySeeFolder(const Call& call, const std::string& folder) const {
    if (!users_) return true;
    if (!call.user || call.user->lists.empty()) return false;
    for (std::string allowed : call.user->lists[0]) {
        while (!allowed.empty() && allowed.front() == '/') allowed.erase(0, 1);
        while (!allowed.empty() && allowed.back() == '/') allowed.pop_back();
        if (allowed.empty() || allowed == "*") return true;
        if (folder == allowed || folder.rfind(allowed + "/", 0) == 0) return true;
    }
    return false;
}

std::optional<ReportFile> ReportServer::Visible(const std::string& name, const Call& call) const {
    auto file = catalog_.Resolve(name);
    if (!file || !MaySeeFolder(call, file->Folder())) return std::nullopt;
    return file;
}

std::shared_ptr<const ReportDescription> ReportServer::Describe(const ReportFile& file) {
    const auto now = std::chrono::steady_clock::now();
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        const auto found = descriptions_.find(file.name);
        if (found != descriptions_.end() && found->second.version == file.version &&
            now - found->second.read < kDescriptionAge)
            return found->second.description;
    }
    const std::string work = "describe-" + RandomToken();
    auto description =
        std::make_shared<const ReportDescription>(DescribeReport(program_, file.path, work));
    std::error_code ignored;
    std::filesystem::remove_all(RunWorkFolder(program_.StateFolder(), work), ignored);
    const std::lock_guard<std::mutex> guard(mutex_);
    descriptions_[file.name] = {file.version, now, description};
    return description;
}

http::Response ReportServer::List(const http::Request& request, Call& call) {
    std::vector<ListedReport> listed;
    for (const ReportFile& file : catalog_.List()) {
        if (!MaySeeFolder(call, file.Folder())) continue;
        const auto description = Describe(file);
        std::string last;
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            if (const auto found = lastRendered_.find(file.name); found != lastRendered_.end())
                last = found->second;
        }
        listed.push_back({file.name, file.Folder(), description->title, last});
    }
    return Page(200, ListPage(call.viewer, listed, request.Query("q")));
}

http::Response ReportServer::ReportGet(const http::Request& request, Call& call) {
    std::string name = request.path.substr(3);
    std::string download;
    for (const Download& kind : kDownloads) {
        if (EndsWith(name, kind.suffix)) {
            download = kind.suffix;
            name.resize(name.size() - download.size());
            break;
        }
    }
    const auto file = Visible(name, call);
    if (!file) return Page(404, MessagePage(call.viewer, "Not found", "There is no such report."));
    call.report = file->name;
    return Render(request, call, *file, download);
}

http::Response ReportServer::Render(const http::Request& request, Call& call,
                                    const ReportFile& file, const std::string& download) {
    const auto description = Describe(file);
    if (!description->read)
        return Page(500,
                    MessagePage(call.viewer, "The report cannot be read", description->problem));
    std::vector<std::string> tasks;
    if (call.user && call.user->lists.size() > 1) {
        for (const std::string& task : description->tasks)
            if (call.user->ListAllows(1, task)) tasks.push_back(task);
    }
    if (request.query.empty() && download.empty())
        return Page(200, FormPage(call.viewer, file.name, *description, {}, {}, tasks));
    const Values values = CollectValues(request.query, *description);
    call.values = MaskedValues(values, description.get());
    const bool pdf = download == ".pdf";
    if (pdf && !description->pdfAvailable)
        return Page(404, MessagePage(call.viewer, "No PDF", "The PDF plug-in is not installed."));
    RenderRequest render;
    render.reportPath = file.path;
    render.values = Assignments(values);
    render.withPdf = pdf;
    bool joined = false;
    const auto job =
        pool_.Request(RenderKey(file, values, pdf), file.name, std::move(render), joined);
    if (!job) return Page(503, MessagePage(call.viewer, "Stopping", "The server is stopping."));
    return JobResponse(job, call, download);
}

bool ReportServer::WaitFor(const std::shared_ptr<RenderJob>& job,
                           std::chrono::milliseconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!stopping_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return job->Done();
        if (job->Wait(std::min(left, std::chrono::milliseconds(250)))) return true;
    }
    return job->Done();
}

http::Response ReportServer::JobResponse(const std::shared_ptr<RenderJob>& job, Call& call,
                                         const std::string& download) {
    if (download.empty()) {
        if (!WaitFor(job, std::chrono::seconds(options_.waitSeconds))) {
            const double seconds =
                std::chrono::duration<double>(RenderJob::Clock::now() - job->Queued()).count();
            return Page(200,
                        ProgressPage(Leaf(job->ReportName()), seconds, "/run/" + job->Id() + "/"));
        }
        return JobPage(job, call);
    }
    if (!WaitFor(job, kDownloadWait))
        return Page(503, MessagePage(call.viewer, "Not ready", "The report is still rendering."));
    const RenderOutcome& outcome = job->Outcome();
    if (!outcome.refused.empty() || !outcome.succeeded) return JobPage(job, call);
    std::string path;
    if (download == ".xlsx") path = outcome.workbook;
    if (download == ".pdf") path = outcome.pdf;
    if (download == ".csv" && !outcome.csvFiles.empty()) path = outcome.csvFiles.front();
    return JobFile(job, call, path.empty() ? std::string() : Leaf(path));
}

http::Response ReportServer::JobPage(const std::shared_ptr<RenderJob>& job, Call& call) {
    const RenderOutcome& outcome = job->Outcome();
    call.rows = outcome.rows;
    const auto file = catalog_.Resolve(job->ReportName());
    if (!outcome.refused.empty()) {
        Values given;
        for (const ParameterAssignment& value : job->Request().values)
            given.push_back({value.Name, value.Value});
        std::shared_ptr<const ReportDescription> description;
        if (file) description = Describe(*file);
        if (!description || !description->read)
            return Page(400, MessagePage(call.viewer, "Values refused", outcome.refused.front()));
        return Page(400, FormPage(call.viewer, job->ReportName(), *description, given,
                                  outcome.refused, {}));
    }
    if (!job->Request().task.empty()) {
        return Page(outcome.succeeded ? 200 : 500,
                    MessagePage(call.viewer, "Task " + job->Request().task,
                                outcome.succeeded ? "The task ran without errors."
                                                  : "The task failed: " + outcome.firstError));
    }
    if (!outcome.succeeded || outcome.page.empty())
        return Page(500, MessagePage(call.viewer, "The report failed",
                                     outcome.firstError.empty() ? "No page was written."
                                                                : outcome.firstError));
    std::ifstream in(outcome.page, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    Values shown;
    for (const ParameterAssignment& value : job->Request().values)
        shown.push_back({value.Name, value.Value});
    std::shared_ptr<const ReportDescription> description;
    if (file) description = Describe(*file);
    shown = MaskedValues(shown, description.get());
    const std::string base = "/run/" + job->Id() + "/";
    std::vector<BarLink> links;
    if (!outcome.workbook.empty()) links.push_back({"Workbook (.xlsx)", base + "Orvik.xlsx"});
    for (size_t i = 0; i < outcome.csvFiles.size(); ++i)
        links.push_back({outcome.csvNames[i] + " (.csv)", base + Leaf(outcome.csvFiles[i])});
    if (description && description->pdfAvailable) links.push_back({"PDF", base + "Orvik.pdf"});
    // A password does not go into a link that is shared and bookmarked.
    Values plain;
    for (const ParameterAssignment& value : job->Request().values) {
        const bool secret = description ? IsSecretParameterOf(description->parameters, value.Name)
                                        : IsSecretName(value.Name);
        if (!secret) plain.push_back({value.Name, value.Value});
    }
    links.push_back({"Link to this page", ReportUrl(job->ReportName(), "", plain)});
    links.push_back({"Change values", ReportUrl(job->ReportName(), "", {})});
    const std::string title =
        description && !description->title.empty() ? description->title : job->ReportName();
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        lastRendered_[job->ReportName()] = job->FinishedAt();
    }
    http::Response response =
        Page(200, DecoratePage(text.str(), base, title, shown, links, job->FinishedAt()));
    // The page says its own charset; a header would override it.
    response.contentType = "text/html";
    return response;
}

http::Response ReportServer::JobFile(const std::shared_ptr<RenderJob>& job, Call& call,
                                     const std::string& file) {
    const auto types = ServedTypes().find(Extension(file));
    if (file.empty() || file.find('/') != std::string::npos || file.front() == '.' ||
        types == ServedTypes().end())
        return Page(404, MessagePage(call.viewer, "Not found", "The run has no such file."));
    const std::string path = job->Outcome().workFolder + file;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return Page(404, MessagePage(call.viewer, "Not found", "The run has no such file."));
    http::Response response;
    response.contentType = types->second;
    response.file = path;
    response.headers.push_back({"Cache-Control", "private, max-age=300"});
    // A picture made from data is shown, never run.
    response.headers.push_back(
        {"Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'"});
    const std::string extension = Extension(file);
    if (extension == ".xlsx" || extension == ".csv" || extension == ".pdf") {
        std::string leaf = Leaf(job->ReportName());
        std::erase_if(leaf, [](char c) {
            return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
        });
        response.headers.push_back(
            {"Content-Disposition", "attachment; filename=\"" + leaf + extension + "\""});
    }
    return response;
}

http::Response ReportServer::RunGet(const http::Request& request, Call& call) {
    const std::string rest = request.path.substr(5);
    const size_t slash = rest.find('/');
    const std::string id = rest.substr(0, slash);
    const std::string file = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
    const auto job = pool_.Find(id);
    const auto report = job ? Visible(job->ReportName(), call) : std::nullopt;
    if (!job || !report)
        return Page(404, MessagePage(call.viewer, "Not found",
                                     "That run is gone; render the report again."));
    call.report = job->ReportName();
    if (file.empty()) return JobResponse(job, call, "");
    if (!WaitFor(job, kDownloadWait))
        return Page(503, MessagePage(call.viewer, "Not ready", "The report is still rendering."));
    if (file == "Orvik.pdf" && job->Outcome().pdf.empty()) {
        // The PDF is printed on demand, from a run of the same report and values.
        Values values;
        for (const ParameterAssignment& value : job->Request().values)
            values.push_back({value.Name, value.Value});
        const auto description = Describe(*report);
        if (!description->pdfAvailable)
            return Page(404,
                        MessagePage(call.viewer, "No PDF", "The PDF plug-in is not installed."));
        RenderRequest render;
        render.reportPath = report->path;
        render.values = job->Request().values;
        render.withPdf = true;
        bool joined = false;
        const auto printed = pool_.Request(RenderKey(*report, values, true), report->name,
                                           std::move(render), joined);
        if (!printed)
            return Page(503, MessagePage(call.viewer, "Stopping", "The server is stopping."));
        return JobResponse(printed, call, ".pdf");
    }
    return JobFile(job, call, file);
}

http::Response ReportServer::ReportPost(const http::Request& request, Call& call) {
    const std::string rest = request.path.substr(3);
    const size_t at = rest.rfind("/task/");
    if (at == std::string::npos)
        return Page(405,
                    MessagePage(call.viewer, "Not allowed", "That method is not allowed here."));
    const std::string task = rest.substr(at + 6);
    const auto file = Visible(rest.substr(0, at), call);
    if (!file) return Page(404, MessagePage(call.viewer, "Not found", "There is no such report."));
    call.report = file->name;
    std::string csrf;
    for (const auto& [name, value] : request.Form())
        if (name == "csrf") csrf = value;
    if (!users_ || !SameToken(csrf, call.viewer.csrf))
        return Page(403, MessagePage(call.viewer, "Refused",
                                     "The form came without its token: run the task from the "
                                     "report's page."));
    const auto description = Describe(*file);
    const bool known = std::find(description->tasks.begin(), description->tasks.end(), task) !=
                       description->tasks.end();
    if (!known || !call.user || call.user->lists.size() < 2 || !call.user->ListAllows(1, task))
        return Page(403, MessagePage(call.viewer, "Refused", "You may not run that task."));
    RenderRequest render;
    render.reportPath = file->path;
    render.task = task;
    bool joined = false;
    const auto job = pool_.Request("task:" + RandomToken(), file->name, std::move(render), joined);
    if (!job) return Page(503, MessagePage(call.viewer, "Stopping", "The server is stopping."));
    return JobResponse(job, call, "");
}

}  // namespace orvik::serve
