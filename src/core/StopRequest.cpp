#include "core/StopRequest.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>
#include <vector>

namespace orvik {
namespace {

std::atomic<int> requested{0};
int eventPipe[2] = {-1, -1};

void OnStopSignal(int signal) {
    if (requested.load() == signal) {
        // Asked twice: the person wants out now.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    RequestStop(signal);
}

using Clock = std::chrono::steady_clock;

// The limit in force on this thread: the innermost scope, which already holds the earliest end.
thread_local TimeLimitScope* innermost = nullptr;
// The run this thread works for, when it was given one (RunStopScope).
thread_local std::shared_ptr<RunStopFlag> threadRun;

// A thread blocked in a driver call is checked this often; a stop is seen within it.
constexpr std::chrono::milliseconds kWatchInterval(50);

}  // namespace

// What a time limit says, copied where it must outlive its scope (a cancel's entry).
struct WorkLimit {
    std::shared_ptr<RunStopFlag> Run;
    bool Limited = false;
    Clock::time_point End;
    int Seconds = 0;
    std::string Setting;

    static WorkLimit OnThisThread() {
        WorkLimit limit;
        limit.Run = threadRun;
        if (const TimeLimitScope* scope = innermost; scope && scope->limited_) {
            limit.Limited = true;
            limit.End = scope->end_;
            limit.Seconds = scope->seconds_;
            limit.Setting = scope->setting_;
        }
        return limit;
    }

    // True once the limit in force on this thread has passed.
    static bool Passed() {
        const TimeLimitScope* scope = innermost;
        return scope && scope->limited_ && Clock::now() >= scope->end_;
    }

    std::string Reason(int signal, Clock::time_point now) const {
        if (signal != 0) return "the run was terminated by signal " + std::to_string(signal);
        if (Run && Run->Requested()) return "the run was stopped: " + Run->Reason();
        if (Limited && now >= End)
            return "it ran longer than " + std::to_string(Seconds) + " s (time-out " + Setting +
                   ")";
        return {};
    }
};

struct CancelOnStop::Entry {
    std::function<void()> Cancel;
    WorkLimit Limit;
    std::string Reason;
    bool Fired = false;
    bool Running = false;
    bool Removed = false;
};

namespace {

// The one watching thread: it sleeps while nothing is registered, and otherwise looks every
// kWatchInterval whether a registered cancel is due. It is never joined, and what it uses is never
// destroyed, so a run that ends while it sleeps ends cleanly.
class Watcher {
  public:
    static Watcher& Instance() {
        static Watcher* watcher = new Watcher;
        return *watcher;
    }

    void Add(const std::shared_ptr<CancelOnStop::Entry>& entry) {
        std::lock_guard lock(mutex_);
        if (!started_) {
            std::thread([this] { Run(); }).detach();
            started_ = true;
        }
        entries_.push_back(entry);
        changed_.notify_all();
    }

    void Remove(const std::shared_ptr<CancelOnStop::Entry>& entry) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !entry->Running; });
        entry->Removed = true;
        std::erase(entries_, entry);
    }

    std::string ReasonOf(const CancelOnStop::Entry& entry) {
        std::lock_guard lock(mutex_);
        return entry.Reason;
    }

  private:
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (entries_.empty()) {
                changed_.wait(lock);
                continue;
            }
            const int signal = StopSignal();
            const Clock::time_point now = Clock::now();
            const std::vector<std::shared_ptr<CancelOnStop::Entry>> due = entries_;
            for (const auto& entry : due) {
                if (entry->Fired || entry->Removed) continue;
                std::string reason = entry->Limit.Reason(signal, now);
                if (reason.empty()) continue;
                entry->Fired = true;
                entry->Reason = std::move(reason);
                entry->Running = true;
                lock.unlock();
                try {
                    entry->Cancel();
                } catch (...) {
                    // A cancel that fails leaves the work to end by itself; nothing to add here.
                }
                lock.lock();
                entry->Running = false;
                changed_.notify_all();
            }
            changed_.wait_for(lock, kWatchInterval);
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::shared_ptr<CancelOnStop::Entry>> entries_;
    bool started_ = false;
};

}  // namespace

void RequestStop(int signal) {
    requested.store(signal);
    if (eventPipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(eventPipe[1], &byte, 1);
    }
}

void ClearStopRequest() {
    requested.store(0);
    if (eventPipe[0] < 0) return;
    char bytes[64];
    while (::read(eventPipe[0], bytes, sizeof bytes) > 0) {
    }
}

RunStopFlag::RunStopFlag() {
    if (::pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) != 0) pipe_[0] = pipe_[1] = -1;
}

RunStopFlag::~RunStopFlag() {
    for (const int fd : pipe_)
        if (fd >= 0) ::close(fd);
}

void RunStopFlag::Request(std::string_view reason) {
    {
        const std::lock_guard lock(mutex_);
        if (requested_.load()) return;
        reason_ = reason.empty() ? "asked to stop" : std::string(reason);
        requested_.store(true);
    }
    if (pipe_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(pipe_[1], &byte, 1);
    }
}

std::string RunStopFlag::Reason() const {
    const std::lock_guard lock(mutex_);
    return reason_;
}

RunStopScope::RunStopScope(std::shared_ptr<RunStopFlag> flag) : outer_(std::move(threadRun)) {
    threadRun = std::move(flag);
}

RunStopScope::~RunStopScope() {
    threadRun = std::move(outer_);
}

bool StopRequested() {
    return StopSignal() != 0 || (threadRun && threadRun->Requested());
}

int StopEventDescriptors(int (&out)[2]) {
    int count = 0;
    if (eventPipe[0] >= 0) out[count++] = eventPipe[0];
    if (threadRun && threadRun->EventDescriptor() >= 0) out[count++] = threadRun->EventDescriptor();
    return count;
}

DescriptorWait WaitForDescriptor(int fd, short events, int timeoutMs) {
    pollfd entries[3] = {{fd, events, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
    int stops[2];
    const int stopCount = StopEventDescriptors(stops);
    for (int i = 0; i < stopCount; ++i) entries[1 + i].fd = stops[i];
    for (;;) {
        if (StopRequested()) return DescriptorWait::Stopped;
        const int ready = ::poll(entries, static_cast<nfds_t>(1 + stopCount), timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return DescriptorWait::Failed;
        if (StopRequested()) return DescriptorWait::Stopped;
        if (ready == 0) return DescriptorWait::TimedOut;
        if (entries[0].revents != 0) return DescriptorWait::Ready;
        // A stop descriptor of a request that has since been cleared (a test): wait on.
    }
}

int StopSignal() {
    return requested.load();
}

int StopEventDescriptor() {
    return eventPipe[0];
}

void InstallStopHandlers() {
    if (eventPipe[0] < 0 && ::pipe2(eventPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        eventPipe[0] = eventPipe[1] = -1;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

TimeLimitScope::TimeLimitScope(int seconds, std::string setting) : outer_(innermost) {
    if (seconds > 0) {
        limited_ = true;
        end_ = Clock::now() + std::chrono::seconds(seconds);
        seconds_ = seconds;
        setting_ = std::move(setting);
    }
    // An outer limit that ends first stays the one in force.
    if (outer_ && outer_->limited_ && (!limited_ || outer_->end_ <= end_)) {
        limited_ = true;
        end_ = outer_->end_;
        seconds_ = outer_->seconds_;
        setting_ = outer_->setting_;
    }
    innermost = this;
}

TimeLimitScope::~TimeLimitScope() {
    innermost = outer_;
}

bool ShouldStop() {
    return StopRequested() || WorkLimit::Passed();
}

std::string StopReason() {
    return WorkLimit::OnThisThread().Reason(StopSignal(), Clock::now());
}

void ThrowIfStopped(std::string_view what) {
    if (!ShouldStop()) return;
    const std::string reason = StopReason();
    if (!reason.empty()) throw WorkStopped(std::string(what) + " was stopped: " + reason);
}

CancelOnStop::CancelOnStop(std::function<void()> cancel) : entry_(std::make_shared<Entry>()) {
    entry_->Cancel = std::move(cancel);
    entry_->Limit = WorkLimit::OnThisThread();
    Watcher::Instance().Add(entry_);
}

CancelOnStop::~CancelOnStop() {
    Watcher::Instance().Remove(entry_);
}

std::string CancelOnStop::Reason() const {
    return Watcher::Instance().ReasonOf(*entry_);
}

}  // namespace orvik
