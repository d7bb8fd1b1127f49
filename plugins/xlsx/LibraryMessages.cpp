// Catching libxlsxwriter's messages without touching file descriptor 2: the process's stderr
// stream is swapped for one of ours whose writes are sorted by the writing thread. A descriptor
// redirect would also swallow a stop or crash notice another thread writes meanwhile.
#include "LibraryMessages.h"

#include <stdio.h>
#include <sys/types.h>

#include <cstdio>
#include <mutex>
#include <string_view>
#include <thread>

namespace xlsx {
namespace {

// The stream that stands in for stderr. Made once and never closed or freed: a thread that read
// the stderr variable just before it was set back may still write through it, and a static
// destructor must not pull it away from a message printed at exit.
struct Catcher {
    std::mutex Mutex;
    FILE* Terminal = nullptr;
    FILE* Stream = nullptr;
    std::thread::id Owner;  // the thread being caught; none while nothing is
    std::string Caught;
};

ssize_t Write(void* cookie, const char* data, size_t size) {
    Catcher& catcher = *static_cast<Catcher*>(cookie);
    {
        const std::lock_guard lock(catcher.Mutex);
        if (catcher.Owner == std::this_thread::get_id()) {
            catcher.Caught.append(data, size);
            return static_cast<ssize_t>(size);
        }
    }
    const size_t written = std::fwrite(data, 1, size, catcher.Terminal);
    std::fflush(catcher.Terminal);
    return static_cast<ssize_t>(written);
}

Catcher* TheCatcher() {
    static Catcher* const catcher = [] {
        auto* made = new Catcher;
        made->Terminal = stderr;
        made->Stream =
            fopencookie(made, "w", cookie_io_functions_t{nullptr, Write, nullptr, nullptr});
        // Unbuffered: every print reaches Write at once, on the thread that printed it.
        if (made->Stream) setvbuf(made->Stream, nullptr, _IONBF, 0);
        return made;
    }();
    return catcher;
}

// glibc documents stderr as a variable a program may set. Other threads read it without a lock;
// an aligned pointer is stored whole, so they see the old stream or the new one.
void SetStderr(FILE* stream) {
    __atomic_store_n(&stderr, stream, __ATOMIC_SEQ_CST);
}

// A line without the library's "[file.c:line]" after its "[ERROR]".
std::string WithoutSourceLocation(std::string_view line) {
    constexpr std::string_view kError = "[ERROR][";
    if (line.substr(0, kError.size()) == kError) {
        const size_t end = line.find("]: ", kError.size());
        if (end != std::string_view::npos) return "[ERROR] " + std::string(line.substr(end + 3));
    }
    return std::string(line);
}

}  // namespace

LibraryMessages::LibraryMessages() {
    Catcher* catcher = TheCatcher();
    if (!catcher->Stream) return;
    {
        const std::lock_guard lock(catcher->Mutex);
        catcher->Owner = std::this_thread::get_id();
        catcher->Caught.clear();
    }
    SetStderr(catcher->Stream);
}

LibraryMessages::~LibraryMessages() {
    Catcher* catcher = TheCatcher();
    if (!catcher->Stream) return;
    SetStderr(catcher->Terminal);
    const std::lock_guard lock(catcher->Mutex);
    catcher->Owner = std::thread::id();
    catcher->Caught.clear();
}

std::vector<std::string> LibraryMessages::Lines() const {
    Catcher* catcher = TheCatcher();
    std::string caught;
    {
        const std::lock_guard lock(catcher->Mutex);
        caught = catcher->Caught;
    }
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < caught.size()) {
        size_t end = caught.find('\n', start);
        if (end == std::string::npos) end = caught.size();
        std::string_view line = std::string_view(caught).substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) lines.push_back(WithoutSourceLocation(line));
        start = end + 1;
    }
    return lines;
}

}  // namespace xlsx
