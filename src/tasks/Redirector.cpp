#include "tasks/Redirector.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "core/StopRequest.h"

extern char** environ;

namespace {

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// A descriptor that becomes readable when the child ends, without reaping it: the owner reaps.
int OpenProcessFd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

// The reader takes at most this much between two looks at the stop request, so a child that
// writes without pause cannot keep it from stopping.
constexpr std::size_t kReadBatch = 64 * 1024;
// What the reader still takes once asked to stop: more than a full pipe holds, so nothing the
// child wrote before it ended is lost, yet bounded against a writer that never pauses.
constexpr std::size_t kFinalRead = 1024 * 1024;

}  // namespace

CRedirector::~CRedirector() {
    Close();
    if (child_ > 0 && !Reap(WNOHANG)) {
        // Whoever gave up on the child does not want it, or what it started, running on without a
        // reader. It is not reaped yet, so its group id cannot have passed to anyone else.
        ::kill(-child_, SIGKILL);
        Reap(0);
    }
    CloseFd(childFd_);
    CloseFd(stopRead_);
    CloseFd(stopWrite_);
}

bool CRedirector::Open(const std::string& commandLine) {
    if (child_ != 0) return false;
    int output[2], input[2], stop[2];
    if (::pipe2(output, O_CLOEXEC) != 0) return false;
    if (::pipe2(input, O_CLOEXEC) != 0) {
        ::close(output[0]), ::close(output[1]);
        return false;
    }
    if (::pipe2(stop, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(output[0]), ::close(output[1]), ::close(input[0]), ::close(input[1]);
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The child starts with default signal handling even though this program ignores SIGPIPE.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    // A group of its own: a command that will not end is ended together with all it started.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    const char* argv[] = {"/bin/sh", "-c", commandLine.c_str(), nullptr};
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, "/bin/sh", &actions, &attributes,
                                      const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);

    // The child's ends belong to the child now; the output pipe ends when it and its own
    // children have all exited. Our end of its input closes at once: nothing will ever be written.
    ::close(output[1]);
    ::close(input[0]);
    ::close(input[1]);
    if (spawned != 0) {
        ::close(output[0]), ::close(stop[0]), ::close(stop[1]);
        return false;
    }
    child_ = pid;
    StartTime = std::chrono::system_clock::now();
    childFd_ = OpenProcessFd(pid);
    stdoutRead_ = output[0];
    ::fcntl(stdoutRead_, F_SETFL, ::fcntl(stdoutRead_, F_GETFL) | O_NONBLOCK);
    stopRead_ = stop[0];
    stopWrite_ = stop[1];
    readerFinished_ = false;
    reader_ = std::thread([this] { OutputReaderThread(); });
    return true;
}

int CRedirector::ReadPendingOutput(std::size_t budget) {
    char buffer[256];
    for (std::size_t taken = 0; taken < budget;) {
        int fd;
        {
            std::lock_guard lock(mutex_);
            fd = stdoutRead_;
        }
        if (fd < 0) return 0;
        const ssize_t count = ::read(fd, buffer, 255);
        if (count > 0) {
            OnOutputText(std::string(buffer, static_cast<size_t>(count)));
            taken += static_cast<std::size_t>(count);
            continue;
        }
        if (count == 0) {  // every writer is gone: the child and its children have ended
            EndTimeMs.store(NowMs(), std::memory_order_release);
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 1;
        OnErrorText("Read stdout pipe error\r\n");
        return -1;
    }
    return 1;
}

void CRedirector::OutputReaderThread() {
    // The reader never decides by itself to give up on output: the end of the pipe or the stop
    // request ends it, and the runner, which knows whether the child has gone, sends the request.
    bool stopped = false;
    while (true) {
        int fd;
        {
            std::lock_guard lock(mutex_);
            fd = stdoutRead_;
        }
        if (fd < 0) break;  // closed from a handler
        pollfd waits[2] = {{fd, POLLIN, 0}, {stopRead_, POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            OnErrorText("Read stdout pipe error\r\n");
            break;
        }
        if (waits[1].revents) {
            stopped = true;
            break;
        }
        if (waits[0].revents && ReadPendingOutput(kReadBatch) < 1) break;
    }
    if (stopped) ReadPendingOutput(kFinalRead);
    ClosePipes();
    std::lock_guard lock(mutex_);
    readerFinished_ = true;
    finishedChanged_.notify_all();
}

void CRedirector::ClosePipes() {
    std::lock_guard lock(mutex_);
    CloseFd(stdoutRead_);
}

void CRedirector::Close() {
    if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) {
        if (stopWrite_ >= 0) {
            const char signal = 1;
            (void)!::write(stopWrite_, &signal, 1);
        }
        reader_.join();
    }
    ClosePipes();
}

bool CRedirector::Reap(int options) {
    if (reaped_ || child_ <= 0) return reaped_;
    pid_t result;
    do {
        result = ::waitpid(child_, &childStatus_, options);
    } while (result < 0 && errno == EINTR);
    // An error means the child is not ours to wait for any more; there is nothing left to wait on.
    if (result != 0) reaped_ = true;
    return reaped_;
}

int CRedirector::WaitForChild() {
    if (child_ <= 0) return -1;
    Reap(0);
    return childStatus_;
}

std::optional<int> CRedirector::WaitForChild(std::chrono::milliseconds limit) {
    if (child_ <= 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!Reap(WNOHANG)) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        // A stop request from outside ends the wait as the limit would.
        if (orvik::StopRequested()) return std::nullopt;
        if (childFd_ >= 0) {
            if (orvik::WaitForDescriptor(
                    childFd_, POLLIN,
                    static_cast<int>(std::min<long long>(left.count(), INT_MAX))) ==
                orvik::DescriptorWait::Stopped)
                return std::nullopt;
        } else {
            std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(20)));
        }
    }
    return childStatus_;
}

int CRedirector::StopProcessGroup(std::chrono::milliseconds grace) {
    if (child_ <= 0) return -1;
    ::kill(-child_, SIGTERM);
    ::kill(-child_, SIGCONT);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    bool gone = false;
    while (!gone && std::chrono::steady_clock::now() < deadline) {
        // The group lives on as long as any member does, the child reaped or not.
        gone = Reap(WNOHANG) && ::kill(-child_, 0) != 0 && errno == ESRCH;
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!gone) ::kill(-child_, SIGKILL);
    Reap(0);
    return childStatus_;
}

bool CRedirector::WaitForOutputEnd(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    finishedChanged_.wait_for(
        lock, limit, [this] { return HasEnded() || readerFinished_ || !reader_.joinable(); });
    return HasEnded();
}

void CRedirector::OnOutputText(const std::string& text) {
    if (std::getenv("ORVIK_TRACE")) std::fputs(text.c_str(), stderr);
}

void CRedirector::OnErrorText(const std::string& text) {
    OnOutputText(text);
}

UxRedirector::~UxRedirector() {
    // The reader must be gone before the text it appends to is.
    Close();
}

std::string UxRedirector::Output() const {
    std::lock_guard lock(outputMutex_);
    if (dropped_ == 0) return output_ + tail_;
    return output_ + " [... " + std::to_string(dropped_) + " bytes of output left out ...] " +
           tail_;
}

void UxRedirector::OnOutputText(const std::string& text) {
    std::lock_guard lock(outputMutex_);
    // The head goes in whole up to its cap; after it, only the last part is kept, so a command
    // that prints hundreds of megabytes costs a few hundred kilobytes here and in the log.
    size_t used = 0;
    if (output_.size() < kKeptHead) {
        used = std::min(text.size(), kKeptHead - output_.size());
        output_.append(text, 0, used);
    }
    if (used == text.size()) return;
    tail_.append(text, used, std::string::npos);
    if (tail_.size() > 2 * kKeptTail) {
        const size_t cut = tail_.size() - kKeptTail;
        dropped_ += cut;
        tail_.erase(0, cut);
    }
}

void UxRedirector::OnErrorText(const std::string& text) {
    OnOutputText(text);
}
