// The runs of a server: each request for a page becomes a job on a fixed pool of threads, each
// job with a work folder of its own. A request identical to one running (same report file
// version, same values) joins it instead of running again; a finished job answers identical
// requests for the cache time, and stays reachable by its id (its pictures and downloads) for a
// while longer, then its folder is removed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serve/ReportRender.h"

namespace orvik {
class Program;
}

namespace orvik::serve {

class RenderJob {
  public:
    using Clock = std::chrono::steady_clock;

    RenderJob(std::string id, std::string key, std::string reportName, RenderRequest request);

    const std::string& Id() const { return id_; }
    const std::string& Key() const { return key_; }
    const std::string& ReportName() const { return reportName_; }
    const RenderRequest& Request() const { return request_; }
    Clock::time_point Queued() const { return queued_; }
    // The wall-clock time the run finished ("" while it runs), for the page's bar.
    std::string FinishedAt() const;

    // Waits up to `timeout` for the run to end; true when it has.
    bool Wait(std::chrono::milliseconds timeout) const;
    bool Done() const;
    // The run's outcome; only once Done().
    const RenderOutcome& Outcome() const { return outcome_; }

  private:
    friend class RenderPool;
    void Finish(RenderOutcome outcome);

    const std::string id_;
    const std::string key_;
    const std::string reportName_;
    RenderRequest request_;
    const Clock::time_point queued_ = Clock::now();
    Clock::time_point finished_{};
    std::string finishedAt_;
    mutable std::mutex mutex_;
    mutable std::condition_variable ended_;
    bool done_ = false;
    RenderOutcome outcome_;
};

class RenderPool {
  public:
    // `threads` runs at once; finished pages answer identical requests for `cacheSeconds`, and
    // their files stay reachable by id for `keepSeconds` (at least the cache time).
    RenderPool(Program& program, unsigned threads, unsigned cacheSeconds, unsigned keepSeconds);
    ~RenderPool();
    RenderPool(const RenderPool&) = delete;
    RenderPool& operator=(const RenderPool&) = delete;

    // The job for `key`: the one running or cached for it, else a new one queued. Null once the
    // pool is shutting down. `joined` says whether an existing job was returned.
    std::shared_ptr<RenderJob> Request(const std::string& key, const std::string& reportName,
                                       RenderRequest request, bool& joined);
    // A job still kept, by id; null when there is none (never was, or removed).
    std::shared_ptr<RenderJob> Find(const std::string& id);

    // Runs queued and running now.
    size_t Busy() const;
    // Takes no more jobs, lets those running finish for up to `grace`, then asks them to stop
    // and waits for them; queued jobs end at once as stopped. Removes every work folder.
    void Shutdown(std::chrono::seconds grace);

  private:
    std::shared_ptr<RenderJob> Enqueue(const std::string& key, const std::string& reportName,
                                       RenderRequest request, bool& joined,
                                       std::vector<std::string>& expired);
    void Work();
    // Forgets finished jobs past their time (under mutex_); returns their folders, which the
    // caller removes once it has let go of the mutex.
    std::vector<std::string> Purge(RenderJob::Clock::time_point now);

    Program& program_;
    const std::chrono::seconds cache_;
    const std::chrono::seconds keep_;
    mutable std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::shared_ptr<RenderJob>> queue_;
    std::map<std::string, std::shared_ptr<RenderJob>> byKey_;  // running or cached
    std::map<std::string, std::shared_ptr<RenderJob>> byId_;   // every job kept
    std::vector<std::shared_ptr<RenderJob>> running_;
    bool stopping_ = false;
    bool trimWanted_ = false;  // jobs were forgotten since the memory was last given back
    std::vector<std::thread> workers_;
};

// 32 hex digits from the OS random source.
std::string RandomToken();

}  // namespace orvik::serve
