// Runs a command line as a child process with its standard output and standard error captured
// through one pipe (so the two arrive interleaved as the child wrote them), read by a background
// thread in chunks of at most 255 bytes and handed to an overridable handler. The child's
// standard input is a pipe closed as soon as the child has started, so a command that reads its
// input sees its end at once instead of waiting for input that never comes.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class CRedirector {
  public:
    CRedirector() = default;
    virtual ~CRedirector();
    CRedirector(const CRedirector&) = delete;
    CRedirector& operator=(const CRedirector&) = delete;

    // Starts `commandLine` through /bin/sh -c and the reader thread; true when both run. A
    // program the shell cannot find is the shell's business: its message arrives as output and
    // the child exits with status 127.
    bool Open(const std::string& commandLine);

    // Stops the reader thread (at most 5 s, then it is cancelled and "The redir thread is
    // dead\r\n" is reported) and closes every pipe. Safe to call more than once and from the
    // reader thread itself, where it only closes the pipes.
    virtual void Close();

    // Waits without limit for the child to end and returns its wait status (as waitpid gives
    // it), or -1 when there is no child. Later calls return the same status.
    int WaitForChild();

    // True once the reader has seen the end of the child's output.
    bool HasEnded() const { return EndTimeMs.load(std::memory_order_acquire) != 0; }

    // Process id of the running child (0 when none was started).
    pid_t ChildProcess() const { return child_; }

    // Milliseconds since the epoch when the child was started / its output ended (0 = not yet).
    std::chrono::system_clock::time_point StartTime;
    std::atomic<long long> EndTimeMs{0};

    // How long the reader waits for output or the stop request between reads.
    unsigned PollIntervalMs = 100;

  protected:
    // Receives each piece of output (at most 255 bytes) on the reader thread.
    virtual void OnOutputText(const std::string& text);
    // Receives the runner's own error notes.
    virtual void OnErrorText(const std::string& text);

  private:
    // 1: more may come; 0: the output ended; -1: a read error (reported).
    int ReadPendingOutput();
    void OutputReaderThread();
    void ClosePipes();

    pid_t child_ = 0;
    int childStatus_ = -1;
    bool reaped_ = false;
    int childFd_ = -1;     // pidfd: readable when the child has ended
    int stdoutRead_ = -1;  // parent's end of the child's output
    int stopRead_ = -1, stopWrite_ = -1;
    std::thread reader_;
    std::mutex mutex_;  // guards the descriptors against Close from both threads
    std::condition_variable finishedChanged_;
    bool readerFinished_ = false;
};

// The command runner the task runner uses: collects all output and error text in one string.
class UxRedirector : public CRedirector {
  public:
    ~UxRedirector() override;

    // Everything the child wrote, plus the runner's own notes, in arrival order.
    std::string Output() const;

  protected:
    void OnOutputText(const std::string& text) override;
    void OnErrorText(const std::string& text) override;

  private:
    mutable std::mutex outputMutex_;
    std::string output_;
};
