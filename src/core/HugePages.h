// Large buffers (a page of a million rows, a grid's cell table) are written once from start to
// end. Touching them 4 KiB at a time costs a page fault per page, which on virtual machines is a
// fifth of a whole run; asking for transparent huge pages cuts the faults by 512.
#pragma once

#include <cstddef>

namespace orvik {

// Advises the kernel to back the whole 2 MiB pages inside [data, data + bytes) with huge pages.
// A hint only: ranges smaller than a huge page, or a kernel that declines, change nothing.
void PreferHugePages(const void* data, size_t bytes);

}  // namespace orvik
