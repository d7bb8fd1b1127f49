// MDX names and cube names compare without regard to case ("[measures]" is "[Measures]"), in
// ASCII only: member names in other scripts compare as written.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace orvik {

// `text` with A-Z turned into a-z.
inline std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// True when `a` and `b` differ at most in the case of ASCII letters.
inline bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
               return lower(x) == lower(y);
           });
}

}  // namespace orvik
