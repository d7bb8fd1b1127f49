// Runs a command line as a child process with its standard output and standard error captured
// through one pipe (so the two arrive interleaved as the child wrote them), read by a background
// thread in chunks of at most 255 bytes and handed to an overridable handler. The child's
// standard input is a pipe closed as soon as the child has started, so a command that reads its
// input sees its end at once instead of waiting for input that never comes. The child leads a
// process group of its own, so the command and whatever it started can be ended together.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class CRedirector {
  public:
    CRedirector() = default;
    // Stops the reader; a child still running is killed with its whole process group.
    virtual ~CRedirector();
    CRedirector(const CRedirector&) = delete;
    CRedirector& operator=(const CRedirector&) = delete;

    // Starts `commandLine` through /bin/sh -c, in a new process group whose id is the child's,
    // and the reader thread; true when both run. A program the shell cannot find is the shell's
    // business: its message arrives as output and the child exits with status 127.
    bool Open(const std::string& commandLine);

    // Stops the reader thread and closes the output pipe. Output already in the pipe is handed
    // on first. The reader wakes on the request and ends by itself, however much the child still
    // writes and whoever still holds the pipe open; Close waits for it. Safe to call more than
    // once and from the reader thread itself, where it only closes the pipe.
    virtual void Close();

    // Waits without limit for the child to end and returns its wait status (as waitpid gives
    // it), or -1 when there is no child. Later calls return the same status.
    int WaitForChild();
    // The same, waiting at most `limit`: nothing when the child is still running then.
    // Also ends early (nullopt) when the run is asked to stop (core/StopRequest.h).
    std::optional<int> WaitForChild(std::chrono::milliseconds limit);

    // Ends the child's process group: SIGTERM (and SIGCONT, so that a stopped member receives
    // it), then SIGKILL when the group has not gone within `grace`. Returns the child's wait
    // status, or -1 when there is no child. Meant for a child still running: once it has been
    // waited for and its group has emptied, its id may in time name someone else's group.
    int StopProcessGroup(std::chrono::milliseconds grace);

    // Waits at most `limit` for the end of the output, which comes when the child and everything
    // that inherited the pipe have closed it; true when it came.
    bool WaitForOutputEnd(std::chrono::milliseconds limit);

    // True once the reader has seen the end of the child's output.
    bool HasEnded() const { return EndTimeMs.load(std::memory_order_acquire) != 0; }

    // Process id of the child, which is also its process group id (0 when none was started).
    pid_t ChildProcess() const { return child_; }

    // When the child was started; milliseconds since the epoch when its output ended (0 = not
    // yet).
    std::chrono::system_clock::time_point StartTime;
    std::atomic<long long> EndTimeMs{0};

  protected:
    // Receives each piece of output (at most 255 bytes) on the reader thread.
    virtual void OnOutputText(const std::string& text);
    // Receives the runner's own error notes.
    virtual void OnErrorText(const std::string& text);

  private:
    // Reads what the pipe holds, up to `budget` bytes. 1: more may come; 0: the output ended;
    // -1: a read error (reported).
    int ReadPendingOutput(std::size_t budget);
    void OutputReaderThread();
    void ClosePipes();
    // Collects the child's status when it has ended (`options` as for waitpid); true once done.
    bool Reap(int options);

    pid_t child_ = 0;
    int childStatus_ = -1;
    bool reaped_ = false;
    int childFd_ = -1;     // pidfd: readable when the child has ended
    int stdoutRead_ = -1;  // parent's end of the child's output
    int stopRead_ = -1, stopWrite_ = -1;
    std::thread reader_;
    std::mutex mutex_;  // guards the output descriptor against Close from both threads
    std::condition_variable finishedChanged_;
    bool readerFinished_ = false;
};

// The command runner the task runner uses: collects all output and error text in one string.
class UxRedirector : public CRedirector {
  public:
    ~UxRedirector() override;

    // How much of the output is kept: its first and its last bytes.
    static constexpr size_t kKeptHead = 64 * 1024;
    static constexpr size_t kKeptTail = 64 * 1024;

    // What the child wrote, plus the runner's own notes, in arrival order; of a long output, the
    // first kKeptHead bytes, a note of how many bytes were left out, and about the last kKeptTail.
    std::string Output() const;

  protected:
    void OnOutputText(const std::string& text) override;
    void OnErrorText(const std::string& text) override;

  private:
    mutable std::mutex outputMutex_;
    std::string output_;  // the head
    std::string tail_;    // what came after the head, cut back to about kKeptTail
    size_t dropped_ = 0;  // bytes left out between the two
};
