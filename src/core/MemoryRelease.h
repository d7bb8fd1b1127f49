// Handing freed memory back to the system. A long-lived server that was busy holds the pages its
// runs freed until it asks for them to be returned; what returns them depends on the allocator
// the program was linked with (jemalloc for `orvik`, glibc's otherwise).
#pragma once

namespace orvik {

// Returns the free pages of every heap to the system. Takes a moment and every heap's lock: call
// it when idle, not under load.
void ReleaseFreeMemory();

}  // namespace orvik
