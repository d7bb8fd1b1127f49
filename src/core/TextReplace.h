// The one text replacement every substitution step uses: all non-overlapping occurrences, left to
// right, without rescanning what was put in. Rescanning would let a value that happens to contain
// its own placeholder loop forever.
#pragma once

#include <string>
#include <string_view>

namespace orvik {

// Replaces every occurrence of `from` (non-empty) in `text` by `to`; returns how many there were.
inline size_t ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    if (from.empty()) return 0;
    size_t count = 0;
    for (size_t pos = text.find(from); pos != std::string::npos;
         pos = text.find(from, pos + to.size())) {
        text.replace(pos, from.size(), to);
        ++count;
    }
    return count;
}

}  // namespace orvik
