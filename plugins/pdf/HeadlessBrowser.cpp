#include "HeadlessBrowser.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

extern char** environ;

namespace pdf {
namespace {

// Where Debian's package puts the browser: the binary itself first, since the launcher script in
// /usr/bin adds flags of its own (and prints noise on some machines).
constexpr const char* kRendererCandidates[] = {"/usr/lib/chromium/chromium", "/usr/bin/chromium"};

// How long a browser that was asked to close may take before its group is killed.
constexpr auto kCloseGrace = std::chrono::seconds(2);

std::vector<std::string> BrowserArguments(const std::string& executable,
                                          const std::string& profile) {
    std::vector<std::string> args = {
        executable,
        "--headless",
        "--remote-debugging-pipe",
        "--user-data-dir=" + profile,
        // Offline: every request would go to a proxy on the discard port, loopback included,
        // and no host name resolves. Requests are also vetted one by one (PagePrinter); this is
        // the floor beneath that.
        "--proxy-server=127.0.0.1:9",
        "--proxy-bypass-list=<-loopback>",
        "--host-resolver-rules=MAP * ~NOTFOUND",
        "--force-webrtc-ip-handling-policy=disable_non_proxied_udp",
        "--disable-background-networking",
        "--disable-component-update",
        "--disable-sync",
        "--disable-extensions",
        "--disable-default-apps",
        "--disable-breakpad",
        "--no-first-run",
        "--no-default-browser-check",
        "--disable-gpu",
        "--disable-dev-shm-usage",
        "--hide-scrollbars",
        "--mute-audio",
        "--font-render-hinting=none",
    };
    // The browser's own sandbox refuses to start as root; elsewhere it stays on.
    if (::geteuid() == 0) args.push_back("--no-sandbox");
    args.push_back("about:blank");
    return args;
}

// The last non-empty line the browser wrote to its error log, to explain a start that failed.
std::string LastLogLine(const std::string& path) {
    std::ifstream in(path);
    std::string line, last;
    while (std::getline(in, line)) {
        if (!line.empty()) last = line;
    }
    if (last.size() > 300) last = last.substr(0, 300) + "...";
    return last;
}

int MillisecondsUntil(HeadlessBrowser::Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - HeadlessBrowser::Clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
}

}  // namespace

std::string HeadlessBrowser::FindRenderer() {
    if (const char* chosen = std::getenv("ORVIK_PDF_RENDERER"); chosen && *chosen) {
        if (::access(chosen, X_OK) != 0)
            throw BrowserError(std::string("the renderer ORVIK_PDF_RENDERER names, ") + chosen +
                               ", cannot be run: " + std::strerror(errno));
        return chosen;
    }
    for (const char* candidate : kRendererCandidates) {
        if (::access(candidate, X_OK) == 0) return candidate;
    }
    throw BrowserError(
        "no HTML renderer is installed: install the Debian package chromium (apt-get install "
        "chromium), or set ORVIK_PDF_RENDERER to a Chromium binary");
}

HeadlessBrowser::HeadlessBrowser(const std::string& executable, Clock::time_point deadline)
    : deadline_(deadline) {
    try {
        Start(executable);
    } catch (...) {
        // No destructor runs for an object that was never made: its browser and profile go here.
        Stop();
        RemoveProfile();
        throw;
    }
}

void HeadlessBrowser::RemoveProfile() {
    std::error_code error;
    if (!profile_.empty()) std::filesystem::remove_all(profile_, error);
    profile_.clear();
}

void HeadlessBrowser::Start(const std::string& executable) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvik-renderer-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw BrowserError("cannot make a private profile folder for the renderer: " +
                           std::string(std::strerror(errno)));
    profile_ = pattern;

    int commands[2], replies[2];
    if (::pipe2(commands, O_CLOEXEC) != 0) Fail("cannot make a pipe to the renderer");
    if (::pipe2(replies, O_CLOEXEC) != 0) {
        ::close(commands[0]);
        ::close(commands[1]);
        Fail("cannot make a pipe from the renderer");
    }

    // Everything the child needs is made before fork: after it only plain system calls run.
    const std::vector<std::string> args = BrowserArguments(executable, profile_);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    // HOME in the profile keeps the browser's caches and settings out of the user's.
    std::vector<std::string> env = {"HOME=" + profile_, "XDG_CONFIG_HOME=" + profile_,
                                    "XDG_CACHE_HOME=" + profile_};
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        if (entry.starts_with("HOME=") || entry.starts_with("XDG_CONFIG_HOME=") ||
            entry.starts_with("XDG_CACHE_HOME=") || entry.starts_with("ORVIK_"))
            continue;
        env.emplace_back(entry);
    }
    std::vector<char*> envp;
    for (const std::string& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    const std::string logPath = profile_ + "/renderer.log";
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        const int devnull = ::open("/dev/null", O_RDONLY);
        const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        // The pipes go to 3 and 4 through descriptors above them, so that none is overwritten
        // before it is moved.
        const int in = ::fcntl(commands[0], F_DUPFD, 10);
        const int out = ::fcntl(replies[1], F_DUPFD, 10);
        if (devnull < 0 || log < 0 || in < 0 || out < 0) ::_exit(126);
        ::dup2(devnull, 0);
        ::dup2(log, 1);
        ::dup2(log, 2);
        ::dup2(in, 3);
        ::dup2(out, 4);
        ::close_range(5, ~0U, 0);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(commands[0]);
    ::close(replies[1]);
    toBrowser_ = commands[1];
    fromBrowser_ = replies[0];
    if (pid < 0) Fail("cannot start the renderer " + executable);
    child_ = pid;
    // Both sides set the group, so it exists whichever runs first.
    ::setpgid(pid, pid);
    try {
        Call("Browser.getVersion");
    } catch (const BrowserError& error) {
        const std::string said = LastLogLine(logPath);
        throw BrowserError("the renderer " + executable + " did not start: " + error.what() +
                           (said.empty() ? "" : " (it said: " + said + ")"));
    }
}

HeadlessBrowser::~HeadlessBrowser() {
    if (child_ > 0) {
        try {
            if (toBrowser_ >= 0) SendMessage("Browser.close", "{}", "");
        } catch (const BrowserError&) {
        }
        const auto until = Clock::now() + kCloseGrace;
        while (Clock::now() < until && ::waitpid(child_, nullptr, WNOHANG) == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    RemoveProfile();
}

void HeadlessBrowser::Stop() {
    if (toBrowser_ >= 0) ::close(toBrowser_);
    if (fromBrowser_ >= 0) ::close(fromBrowser_);
    toBrowser_ = fromBrowser_ = -1;
    if (child_ <= 0) return;
    // The group outlives its leader while helpers linger; kill it whole, then reap the leader.
    ::kill(-child_, SIGKILL);
    ::waitpid(child_, nullptr, 0);
    child_ = 0;
}

void HeadlessBrowser::Fail(const std::string& what) {
    const int error = errno;
    Stop();
    throw BrowserError(what + (error ? ": " + std::string(std::strerror(error)) : ""));
}

int HeadlessBrowser::SendMessage(std::string_view method, std::string_view params,
                                 const std::string& session) {
    const int id = nextId_++;
    std::string message = "{\"id\":" + std::to_string(id) + ",\"method\":" + JsonQuote(method) +
                          ",\"params\":" + std::string(params);
    if (!session.empty()) message += ",\"sessionId\":" + JsonQuote(session);
    message += "}";
    message += '\0';
    size_t sent = 0;
    while (sent < message.size()) {
        pollfd ready{toBrowser_, POLLOUT, 0};
        const int waited = ::poll(&ready, 1, MillisecondsUntil(deadline_));
        if (waited < 0 && errno == EINTR) continue;
        if (waited == 0) {
            Stop();
            throw BrowserError("the renderer was stopped at its time-out");
        }
        const ssize_t n = ::write(toBrowser_, message.data() + sent, message.size() - sent);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail("the renderer stopped reading");
        sent += static_cast<size_t>(n);
    }
    return id;
}

void HeadlessBrowser::Send(std::string_view method, std::string_view params,
                           const std::string& session) {
    SendMessage(method, params, session);
}

JsonValue HeadlessBrowser::ReadMessage() {
    for (;;) {
        const size_t end = buffer_.find('\0', scanned_);
        if (end != std::string::npos) {
            JsonValue message;
            std::string error;
            const bool ok =
                JsonValue::Parse(std::string_view(buffer_).substr(0, end), message, error);
            buffer_.erase(0, end + 1);
            scanned_ = 0;
            if (!ok) Fail("the renderer sent a message that is not JSON (" + error + ")");
            return message;
        }
        scanned_ = buffer_.size();
        pollfd ready{fromBrowser_, POLLIN, 0};
        const int waited = ::poll(&ready, 1, MillisecondsUntil(deadline_));
        if (waited < 0 && errno == EINTR) continue;
        if (waited == 0) {
            Stop();
            throw BrowserError("the renderer was stopped at its time-out");
        }
        char chunk[65536];
        const ssize_t n = ::read(fromBrowser_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("cannot read from the renderer");
        if (n == 0) {
            errno = 0;
            Fail("the renderer ended unexpectedly");
        }
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}

JsonValue HeadlessBrowser::Call(std::string_view method, std::string_view params,
                                const std::string& session) {
    const int id = SendMessage(method, params, session);
    for (;;) {
        JsonValue message = ReadMessage();
        const JsonValue& replyId = message["id"];
        if (replyId.Type() == JsonValue::Kind::Number) {
            if (static_cast<int>(replyId.Number()) != id) continue;  // a reply to a Send
            if (const JsonValue& error = message["error"]; !error.IsNull())
                throw BrowserError("the renderer refused " + std::string(method) + ": " +
                                   error["message"].Text());
            return message["result"];
        }
        if (OnEvent) OnEvent(message);
    }
}

JsonValue HeadlessBrowser::WaitForEvent(std::string_view method, const std::string& session) {
    for (;;) {
        JsonValue message = ReadMessage();
        if (message["id"].Type() == JsonValue::Kind::Number) continue;
        if (message["method"].Text() == method && message["sessionId"].Text() == session)
            return message;
        if (OnEvent) OnEvent(message);
    }
}

}  // namespace pdf
