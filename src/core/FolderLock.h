// Keeps two runs of the program out of one folder at a time: two cron jobs in one program folder
// would otherwise empty and rewrite the same work folder under each other and publish torn pages.
// The lock is the kernel's (flock on the folder itself and on the folder it lies in, which stays
// when someone deletes the folder under its holder), so it goes when its holder ends, however it
// ends. Two folders side by side therefore share one lock.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace orvik {

class FolderLock {
  public:
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Takes the lock on `folder` (made when missing), waiting at most `wait` for a holder to let
    // go; `waiting` is called once if it has to wait. Null when the lock could not be had, with
    // the reason in `problem` (at once when `folder` or its parent is no folder).
    static std::unique_ptr<FolderLock> Acquire(const std::string& folder,
                                               std::chrono::milliseconds wait,
                                               const std::function<void()>& waiting,
                                               std::string& problem);
    // The lock on `folder` alone, for a folder of one holder's own (the designer's work folder
    // inside the shared one): its neighbours and the folder it lies in stay free for others.
    static std::unique_ptr<FolderLock> AcquireOwn(const std::string& folder, std::string& problem);

  private:
    FolderLock(int descriptor, int parent) : descriptor_(descriptor), parent_(parent) {}
    int descriptor_;
    int parent_;
};

}  // namespace orvik
