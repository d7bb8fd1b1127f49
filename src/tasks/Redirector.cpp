#include "tasks/Redirector.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

}  // namespace

CRedirector::~CRedirector() {
    Close();
    CloseFd(stopRead_);
    CloseFd(stopWrite_);
    if (child_ > 0 && !reaped_) {
        // Whoever gave up on the child does not want it running on without a reader.
        if (::waitpid(child_, &childStatus_, WNOHANG) == 0) {
            ::kill(child_, SIGKILL);
            ::waitpid(child_, &childStatus_, 0);
        }
        reaped_ = true;
    }
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
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

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

int CRedirector::ReadPendingOutput() {
    char buffer[256];
    while (true) {
        int fd;
        {
            std::lock_guard lock(mutex_);
            fd = stdoutRead_;
        }
        if (fd < 0) return 0;
        const ssize_t count = ::read(fd, buffer, 255);
        if (count > 0) {
            OnOutputText(std::string(buffer, static_cast<size_t>(count)));
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
}

void CRedirector::OutputReaderThread() {
    int result = 1;
    bool stopped = false;
    while (true) {
        result = ReadPendingOutput();
        if (result < 1) break;
        pollfd waits[3] = {{stdoutRead_, POLLIN, 0}, {stopRead_, POLLIN, 0}, {childFd_, POLLIN, 0}};
        const int ready = ::poll(waits, childFd_ >= 0 ? 3 : 2, static_cast<int>(PollIntervalMs));
        if (ready <= 0) continue;
        if (waits[1].revents) {
            stopped = true;
            break;
        }
        if (childFd_ >= 0 && waits[2].revents) {
            // The child ended: take what is left. Output may still be open in a grandchild that
            // inherited it; then the end time stays unset and the runner's grace wait decides.
            result = ReadPendingOutput();
            if (result == 1) result = 0;
            break;
        }
    }
    if (stopped) result = 1;
    (void)result;
    ClosePipes();
    std::lock_guard lock(mutex_);
    readerFinished_ = true;
    finishedChanged_.notify_all();
}

void CRedirector::ClosePipes() {
    std::lock_guard lock(mutex_);
    CloseFd(stdoutRead_);
    CloseFd(childFd_);
}

void CRedirector::Close() {
    if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) {
        if (stopWrite_ >= 0) {
            const char signal = 1;
            (void)!::write(stopWrite_, &signal, 1);
        }
        std::unique_lock lock(mutex_);
        const bool finished = finishedChanged_.wait_for(lock, std::chrono::milliseconds(5000),
                                                        [this] { return readerFinished_; });
        lock.unlock();
        if (!finished) {
            OnErrorText("The redir thread is dead\r\n");
            ::pthread_cancel(reader_.native_handle());
        }
        reader_.join();
    }
    ClosePipes();
}

int CRedirector::WaitForChild() {
    if (child_ <= 0) return -1;
    if (!reaped_) {
        while (::waitpid(child_, &childStatus_, 0) < 0 && errno == EINTR) {
        }
        reaped_ = true;
    }
    return childStatus_;
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
    return output_;
}

void UxRedirector::OnOutputText(const std::string& text) {
    std::lock_guard lock(outputMutex_);
    output_ += text;
}

void UxRedirector::OnErrorText(const std::string& text) {
    OnOutputText(text);
}
