#include "core/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

namespace orvik {
namespace {

constexpr auto kRetry = std::chrono::milliseconds(100);

// The folder `folder` lies in ("." for a bare name).
std::string ParentOf(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const size_t slash = folder.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : folder.substr(0, slash);
}

// Opens the folder `folder`; -1 with the reason in `problem`.
int OpenFolder(const std::string& folder, std::string& problem) {
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) return descriptor;
    if (errno == ENOTDIR) {
        // Named without a trailing "/": what stands there is a file, and waiting will not help.
        std::string named = folder;
        while (named.size() > 1 && named.back() == '/') named.pop_back();
        problem = named + " is not a folder";
    } else {
        problem = "cannot open the folder " + folder + ": " + std::strerror(errno);
    }
    return -1;
}

// Locks `descriptor` without waiting: 1 locked, 0 held by another, -1 failed (with `problem`).
int TryLock(int descriptor, const std::string& folder, std::string& problem) {
    if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) return 1;
    if (errno == EWOULDBLOCK || errno == EINTR) return 0;
    problem = "cannot lock the folder " + folder + ": " + std::strerror(errno);
    return -1;
}

}  // namespace

FolderLock::~FolderLock() {
    ::close(descriptor_);
    if (parent_ >= 0) ::close(parent_);
}

std::unique_ptr<FolderLock> FolderLock::Acquire(const std::string& folder,
                                                std::chrono::milliseconds wait,
                                                const std::function<void()>& waiting,
                                                std::string& problem) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    // The folder's own lock goes with the folder when someone deletes it under its holder; the
    // lock on the folder it lies in stays, so a run starting then still waits.
    // Where it may not be read (a rare set-up), the folder's own lock has to do.
    const std::string parentFolder = ParentOf(folder);
    const int parent = ::open(parentFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0 && errno != EACCES) {
        OpenFolder(parentFolder, problem);
        return nullptr;
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    bool told = false;
    for (;;) {
        int locked = parent < 0 ? 1 : TryLock(parent, parentFolder, problem);
        if (locked == 1) {
            // Made again in case it went while this waited.
            std::filesystem::create_directories(folder, error);
            const int descriptor = OpenFolder(folder, problem);
            if (descriptor < 0) break;
            locked = TryLock(descriptor, folder, problem);
            if (locked == 1) return std::unique_ptr<FolderLock>(new FolderLock(descriptor, parent));
            ::close(descriptor);
            // A holder of the folder alone (an older program) is waited for like any other.
            if (parent >= 0) ::flock(parent, LOCK_UN);
        }
        if (locked < 0) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            problem = "another run of Orvik is using the folder " + folder;
            break;
        }
        if (!told && waiting) waiting();
        told = true;
        std::this_thread::sleep_for(kRetry);
    }
    if (parent >= 0) ::close(parent);
    return nullptr;
}

std::unique_ptr<FolderLock> FolderLock::AcquireOwn(const std::string& folder,
                                                   std::string& problem) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    // The folder is this holder's own: a link planted in its place is refused, never followed.
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) {
        const int why = errno;
        const bool link = std::filesystem::is_symlink(std::filesystem::symlink_status(path, error));
        problem = "cannot open the folder " + folder + ": " +
                  (link ? std::string("it is a symbolic link") : std::strerror(why));
        return nullptr;
    }
    if (TryLock(descriptor, folder, problem) == 1)
        return std::unique_ptr<FolderLock>(new FolderLock(descriptor, -1));
    ::close(descriptor);
    if (problem.empty()) problem = "another run of Orvik is using the folder " + folder;
    return nullptr;
}

}  // namespace orvik
