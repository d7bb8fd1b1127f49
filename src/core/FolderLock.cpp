#include "core/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

namespace orvik {

FolderLock::~FolderLock() {
    ::close(descriptor_);
}

std::unique_ptr<FolderLock> FolderLock::Acquire(const std::string& folder,
                                                std::chrono::milliseconds wait,
                                                const std::function<void()>& waiting,
                                                std::string& problem) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        problem = "cannot open the folder " + folder + ": " + std::strerror(errno);
        return nullptr;
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    bool told = false;
    for (;;) {
        if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0)
            return std::unique_ptr<FolderLock>(new FolderLock(descriptor));
        if (errno != EWOULDBLOCK && errno != EINTR) {
            problem = "cannot lock the folder " + folder + ": " + std::strerror(errno);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            problem = "another run of Orvik is using the folder " + folder;
            break;
        }
        if (!told && waiting) waiting();
        told = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::close(descriptor);
    return nullptr;
}

}  // namespace orvik
