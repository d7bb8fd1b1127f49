#include "core/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <vector>

namespace orvik {
namespace {

constexpr std::string_view kTemporaryPrefix = ".orvik-tmp-";
// mkstemp's six letters and the dot before them.
constexpr size_t kRandomPart = 7;
// The target's name is kept in the temporary name only this far: a long name still leaves room
// for the rest within the file system's limit on a name.
constexpr size_t kNameBytes = 100;
// A writer makes its file and locks it a moment later; a file written to this recently may be
// in that moment, so it is left for the next sweep.
constexpr time_t kSettleSeconds = 5;

std::string_view CutName(std::string_view name) {
    if (name.size() <= kNameBytes) return name;
    size_t end = kNameBytes;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
    return name.substr(0, end);
}

bool IsRandomLetter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool SameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// Removes the file `name` of the open folder `folder` when it is a leftover; true when it went.
bool RemoveIfLeftover(int folder, const char* name, time_t now) {
    struct stat seen;
    if (::fstatat(folder, name, &seen, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISREG(seen.st_mode) || seen.st_uid != ::geteuid()) return false;
    // A time in the future counts as recent too.
    if (now - seen.st_mtime < kSettleSeconds) return false;
    const int descriptor =
        ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) return false;
    bool removed = false;
    struct stat opened, again;
    // A living writer holds its file locked. The name must still lead to the file locked here,
    // not to one put in its place since.
    if (::fstat(descriptor, &opened) == 0 && SameFile(opened, seen) &&
        ::flock(descriptor, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(folder, name, &again, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(again, opened)) {
        removed = ::unlinkat(folder, name, 0) == 0;
    }
    ::close(descriptor);
    return removed;
}

// Sweeps `folder` the first time a process writes there: later leftovers in it are its own
// files, which it removes itself.
void SweepOnce(const std::string& folder) {
    static std::mutex mutex;
    static std::set<std::string> swept;
    {
        const std::lock_guard lock(mutex);
        if (!swept.insert(folder).second) return;
    }
    RemoveAtomicLeftovers(folder);
}

}  // namespace

bool IsAtomicTemporaryName(std::string_view name) {
    if (name.size() < kTemporaryPrefix.size() + kRandomPart ||
        name.substr(0, kTemporaryPrefix.size()) != kTemporaryPrefix ||
        name[name.size() - kRandomPart] != '.') {
        return false;
    }
    for (size_t at = name.size() - kRandomPart + 1; at < name.size(); ++at) {
        if (!IsRandomLetter(name[at])) return false;
    }
    return true;
}

int RemoveAtomicLeftovers(const std::string& folder) {
    const int descriptor =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return 0;
    const int listed = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    DIR* entries = listed < 0 ? nullptr : ::fdopendir(listed);
    if (!entries) {
        if (listed >= 0) ::close(listed);
        ::close(descriptor);
        return 0;
    }
    std::vector<std::string> candidates;
    while (const dirent* entry = ::readdir(entries)) {
        if (IsAtomicTemporaryName(entry->d_name)) candidates.emplace_back(entry->d_name);
    }
    ::closedir(entries);
    const time_t now = std::time(nullptr);
    int removed = 0;
    for (const std::string& name : candidates) {
        if (RemoveIfLeftover(descriptor, name.c_str(), now)) ++removed;
    }
    ::close(descriptor);
    return removed;
}

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
    const size_t slash = path_.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
    const std::string_view name = slash == std::string::npos
                                      ? std::string_view(path_)
                                      : std::string_view(path_).substr(slash + 1);
    SweepOnce(folder);
    temporary_ = folder + std::string(kTemporaryPrefix) + std::string(CutName(name)) + ".XXXXXX";
    // mkstemp creates the name exclusively: nothing planted there is opened or followed.
    const int descriptor = ::mkostemp(temporary_.data(), O_CLOEXEC);
    if (descriptor < 0) {
        Fail("cannot create a file in its folder");
        temporary_.clear();
        return;
    }
    // The lock tells a sweep in another process that the file is being written. Held through a
    // descriptor of its own, it outlives the stream until the file is in place.
    ::flock(descriptor, LOCK_EX | LOCK_NB);
    lock_ = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    // Readable as a file made with fopen would be (mkstemp makes it private to its owner).
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(descriptor, 0666 & ~mask);
    stream_ = ::fdopen(descriptor, "wb");
    if (!stream_) {
        Fail("cannot open the file");
        ::close(descriptor);
    }
}

AtomicFile::~AtomicFile() {
    if (stream_) std::fclose(stream_);
    if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
    if (lock_ >= 0) ::close(lock_);
}

void AtomicFile::Fail(const char* what) {
    if (error_.empty()) error_ = std::string(what) + ": " + std::strerror(errno);
}

void AtomicFile::NoteWriteError() {
    Fail("cannot write");
}

bool AtomicFile::Restart() {
    if (!stream_) return false;
    std::rewind(stream_);
    if (::ftruncate(::fileno(stream_), 0) != 0) {
        Fail("cannot empty the file");
        return false;
    }
    return true;
}

bool AtomicFile::Commit() {
    if (!stream_ || !error_.empty()) return false;
    // On the disk before the rename: after a power cut the name must not point at a file whose
    // bytes never arrived.
    const bool flushed = std::fflush(stream_) == 0 && ::fsync(::fileno(stream_)) == 0;
    if (!flushed) Fail("cannot write");
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!closed) Fail("cannot write");
    if (!flushed || !closed) return false;
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
        Fail("cannot put the file in place");
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace orvik
