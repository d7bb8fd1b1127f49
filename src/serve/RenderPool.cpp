#include "serve/RenderPool.h"

#include <sys/random.h>

#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "core/MemoryRelease.h"
#include "core/StopRequest.h"

namespace orvik::serve {
namespace {

// Idle workers look for finished jobs to forget this often.
constexpr std::chrono::seconds kPurgeInterval{2};

std::string NowText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

void RemoveFolder(const std::string& folder) {
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
}

void RemoveFolders(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) RemoveFolder(folder);
}

}  // namespace

std::string RandomToken() {
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("the OS random source failed");
        }
        got += static_cast<size_t>(n);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char byte : bytes) {
        token += kHex[byte >> 4];
        token += kHex[byte & 15];
    }
    return token;
}

RenderJob::RenderJob(std::string id, std::string key, std::string reportName, RenderRequest request)
    : id_(std::move(id)),
      key_(std::move(key)),
      reportName_(std::move(reportName)),
      request_(std::move(request)) {}

std::string RenderJob::FinishedAt() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return finishedAt_;
}

bool RenderJob::Wait(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return ended_.wait_for(lock, timeout, [this] { return done_; });
}

bool RenderJob::Done() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return done_;
}

void RenderJob::Finish(RenderOutcome outcome) {
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        outcome_ = std::move(outcome);
        finished_ = Clock::now();
        finishedAt_ = NowText();
        done_ = true;
    }
    ended_.notify_all();
}

RenderPool::RenderPool(Program& program, unsigned threads, unsigned cacheSeconds,
                       unsigned keepSeconds)
    : program_(program), cache_(cacheSeconds), keep_(std::max(cacheSeconds, keepSeconds)) {
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
}

RenderPool::~RenderPool() {
    Shutdown(std::chrono::seconds(0));
}

std::shared_ptr<RenderJob> RenderPool::Request(const std::string& key,
                                               const std::string& reportName, RenderRequest request,
                                               bool& joined) {
    std::vector<std::string> expired;
    const std::shared_ptr<RenderJob> job =
        Enqueue(key, reportName, std::move(request), joined, expired);
    RemoveFolders(expired);
    return job;
}

std::shared_ptr<RenderJob> RenderPool::Enqueue(const std::string& key,
                                               const std::string& reportName, RenderRequest request,
                                               bool& joined, std::vector<std::string>& expired) {
    const std::lock_guard<std::mutex> guard(mutex_);
    joined = false;
    if (stopping_) return nullptr;
    const auto now = RenderJob::Clock::now();
    expired = Purge(now);
    if (const auto found = byKey_.find(key); found != byKey_.end()) {
        RenderJob& job = *found->second;
        const std::lock_guard<std::mutex> jobGuard(job.mutex_);
        // A failed run is not kept for others: the next request tries again.
        const bool fresh = !job.done_ || (job.outcome_.succeeded && now - job.finished_ < cache_);
        if (fresh) {
            joined = true;
            return found->second;
        }
    }
    const std::string id = RandomToken();
    request.workName = "serve-" + id;
    auto job = std::make_shared<RenderJob>(id, key, reportName, std::move(request));
    byKey_[key] = job;
    byId_[id] = job;
    queue_.push_back(job);
    queued_.notify_one();
    return job;
}

std::shared_ptr<RenderJob> RenderPool::Find(const std::string& id) {
    std::shared_ptr<RenderJob> job;
    std::vector<std::string> expired;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        expired = Purge(RenderJob::Clock::now());
        if (const auto found = byId_.find(id); found != byId_.end()) job = found->second;
    }
    RemoveFolders(expired);
    return job;
}

size_t RenderPool::Busy() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return queue_.size() + running_.size();
}

std::vector<std::string> RenderPool::Purge(RenderJob::Clock::time_point now) {
    std::vector<std::string> folders;
    for (auto entry = byId_.begin(); entry != byId_.end();) {
        RenderJob& job = *entry->second;
        bool expired = false;
        std::string folder;
        {
            const std::lock_guard<std::mutex> jobGuard(job.mutex_);
            expired = job.done_ && now - job.finished_ >= keep_;
            folder = job.outcome_.workFolder;
        }
        if (!expired) {
            ++entry;
            continue;
        }
        if (const auto keyed = byKey_.find(job.Key());
            keyed != byKey_.end() && keyed->second.get() == &job)
            byKey_.erase(keyed);
        folders.push_back(folder);
        entry = byId_.erase(entry);
        trimWanted_ = true;
    }
    return folders;
}

void RenderPool::Work() {
    while (true) {
        std::shared_ptr<RenderJob> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            while (queue_.empty() && !stopping_) {
                if (queued_.wait_for(lock, kPurgeInterval) != std::cv_status::timeout) continue;
                const std::vector<std::string> expired = Purge(RenderJob::Clock::now());
                if (!trimWanted_) continue;
                trimWanted_ = false;
                lock.unlock();
                RemoveFolders(expired);
                // The pages of a busy hour were freed piecemeal: an idle server gives the memory
                // back to the system (not under load: the trim holds every heap while it works).
                ReleaseFreeMemory();
                lock.lock();
            }
            if (queue_.empty()) return;
            job = queue_.front();
            queue_.pop_front();
            if (!job->request_.stop) job->request_.stop = std::make_shared<RunStopFlag>();
            running_.push_back(job);
        }
        const RenderRequest& request = job->Request();
        RenderOutcome outcome;
        try {
            outcome = RenderReport(program_, request);
        } catch (const std::exception& error) {
            outcome.errorCount = 1;
            outcome.firstError = error.what();
        }
        job->Finish(std::move(outcome));
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            std::erase(running_, job);
        }
        queued_.notify_all();
    }
}

void RenderPool::Shutdown(std::chrono::seconds grace) {
    std::deque<std::shared_ptr<RenderJob>> dropped;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (stopping_ && workers_.empty()) return;
        stopping_ = true;
        dropped.swap(queue_);
    }
    queued_.notify_all();
    for (const auto& job : dropped) {
        RenderOutcome outcome;
        outcome.errorCount = 1;
        outcome.firstError = "the server is stopping";
        job->Finish(std::move(outcome));
    }
    const auto end = RenderJob::Clock::now() + grace;
    while (Busy() > 0 && RenderJob::Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        for (const auto& job : running_)
            if (job->request_.stop) job->request_.stop->Request("the server is stopping");
    }
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
    const std::lock_guard<std::mutex> guard(mutex_);
    for (const auto& [id, job] : byId_) RemoveFolder(job->Done() ? job->Outcome().workFolder : "");
    byId_.clear();
    byKey_.clear();
}

}  // namespace orvik::serve
