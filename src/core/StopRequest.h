// A run asked to stop from outside (SIGTERM from a scheduler or `kill`, SIGINT from Ctrl-C) ends in
// order: the command running at the time is ended with everything it started, no further step
// starts, and the log gets its closing lines. The signal handler only records the request; the
// run notices it where it waits (commands), between steps, in the loops of long work (queries,
// cube evaluation), and a watching thread cancels what blocks inside a library (a database
// driver's call). A query's time-out ends work by the same path.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orvik {

// Routes SIGTERM and SIGINT to a stop request. A second signal of the same kind ends the program
// at once, for a person who does not want to wait for the orderly end.
void InstallStopHandlers();

// The signal that asked the run to stop; 0 while none did.
int StopSignal();

// A descriptor that becomes readable once a stop is requested, for waits that poll; -1 before
// InstallStopHandlers.
int StopEventDescriptor();

// Records a stop request as the signal `signal` would (async-signal-safe).
void RequestStop(int signal);
// Forgets a stop request (tests that request one).
void ClearStopRequest();

// One run's own stop request, for a process that serves many runs: a server ends one request's
// run and leaves the others alone. A signal still stops every run of the process. Shared by the
// run and whoever may stop it (a server's request handler), so either may outlive the other.
class RunStopFlag {
  public:
    RunStopFlag();
    ~RunStopFlag();
    RunStopFlag(const RunStopFlag&) = delete;
    RunStopFlag& operator=(const RunStopFlag&) = delete;

    // Asks the run to stop; `reason` ends up in its log ("the run was stopped: <reason>"). The
    // first request's reason is kept.
    void Request(std::string_view reason);
    bool Requested() const { return requested_.load(); }
    std::string Reason() const;
    // Readable once Request was called, for waits that poll.
    int EventDescriptor() const { return pipe_[0]; }

  private:
    std::atomic<bool> requested_{false};
    mutable std::mutex mutex_;
    std::string reason_;
    int pipe_[2] = {-1, -1};
};

// While it lives, the work of the thread that made it belongs to the run `flag` stops:
// StopRequested, ShouldStop, the waits and CancelOnStop see its request as they see a signal.
class RunStopScope {
  public:
    explicit RunStopScope(std::shared_ptr<RunStopFlag> flag);
    ~RunStopScope();
    RunStopScope(const RunStopScope&) = delete;
    RunStopScope& operator=(const RunStopScope&) = delete;

  private:
    std::shared_ptr<RunStopFlag> outer_;
};

// True once this thread's run was asked to stop: by a signal, or through its own flag. Unlike
// ShouldStop, a passed time limit does not count (a step's time-out is its own business).
bool StopRequested();

// The descriptors a wait polls besides its own, to wake on a stop request (the signal's and this
// thread's run's); fills `out` and returns how many there are (0 to 2).
int StopEventDescriptors(int (&out)[2]);

enum class DescriptorWait { Ready, TimedOut, Stopped, Failed };
// Waits up to `timeoutMs` (-1: no limit) for `events` on `fd`, ending early with Stopped once
// this thread's run is asked to stop. Failed leaves the reason in errno.
DescriptorWait WaitForDescriptor(int fd, short events, int timeoutMs);

// Thrown where work ends early because the run was asked to stop or its time limit passed; the
// message says what was stopped and why.
class WorkStopped : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// While it lives, work on the thread that made it must end `seconds` from now (0: no limit); the
// limit is named `setting` in messages. Scopes nest, and the earliest end counts.
class TimeLimitScope {
  public:
    TimeLimitScope(int seconds, std::string setting);
    ~TimeLimitScope();
    TimeLimitScope(const TimeLimitScope&) = delete;
    TimeLimitScope& operator=(const TimeLimitScope&) = delete;

  private:
    friend struct WorkLimit;
    TimeLimitScope* outer_;
    std::chrono::steady_clock::time_point end_;
    int seconds_ = 0;
    std::string setting_;
    bool limited_ = false;
};

// True once work on this thread must end: a stop was requested or a time limit passed. Cheap
// enough for inner loops.
bool ShouldStop();
// Why work on this thread must end ("the run was terminated by signal 15", "it ran longer than
// 5 s (time-out QueryTimeout)"); empty while it may go on.
std::string StopReason();
// Throws WorkStopped("<what> was stopped: <reason>") once ShouldStop.
void ThrowIfStopped(std::string_view what);

// While it lives, `cancel` is called once, on a watching thread, as soon as the thread that made
// it should stop (a stop request, or the time limit in force where it was made): for calls that
// block inside a library where this program cannot look (a database driver's statement).
class CancelOnStop {
  public:
    explicit CancelOnStop(std::function<void()> cancel);
    // Returns once a cancel that is running has returned; afterwards none starts.
    ~CancelOnStop();
    CancelOnStop(const CancelOnStop&) = delete;
    CancelOnStop& operator=(const CancelOnStop&) = delete;

    // Why the cancel was called; empty when it was not.
    std::string Reason() const;

    struct Entry;

  private:
    std::shared_ptr<Entry> entry_;
};

}  // namespace orvik
