// A run asked to stop from outside (SIGTERM from a scheduler or `kill`, SIGINT from Ctrl-C) ends in
// order: the command running at the time is ended with everything it started, no further step
// starts, and the log gets its closing lines. The signal handler only records the request; the
// run notices it where it waits (commands), between steps, in the loops of long work (queries,
// cube evaluation), and a watching thread cancels what blocks inside a library (a database
// driver's call). A query's time-out ends work by the same path.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
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
