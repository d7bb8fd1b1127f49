#include "core/MemoryRelease.h"

#include <dlfcn.h>
#include <malloc.h>

#include <cstddef>

namespace orvik {

void ReleaseFreeMemory() {
    // The core library does not link an allocator: the program does. Under jemalloc its control
    // call is there to be found, and purging every arena (MALLCTL_ARENAS_ALL is 4096) gives the
    // dirty pages back; glibc's heaps give theirs back through malloc_trim.
    using Mallctl = int (*)(const char*, void*, size_t*, void*, size_t);
    if (const auto mallctl = reinterpret_cast<Mallctl>(::dlsym(RTLD_DEFAULT, "mallctl"))) {
        mallctl("arena.4096.purge", nullptr, nullptr, nullptr, 0);
        return;
    }
    ::malloc_trim(0);
}

}  // namespace orvik
