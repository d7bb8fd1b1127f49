#include "core/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace orvik {

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
    const size_t slash = path_.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    temporary_ = folder + "." + name + ".XXXXXX";
    // mkstemp creates the name exclusively: nothing planted there is opened or followed.
    const int descriptor = ::mkostemp(temporary_.data(), O_CLOEXEC);
    if (descriptor < 0) {
        Fail("cannot create a file in its folder");
        temporary_.clear();
        return;
    }
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
    const bool flushed = std::fflush(stream_) == 0;
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
