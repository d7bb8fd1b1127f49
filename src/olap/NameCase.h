// MDX names and cube names compare without regard to case ("[measures]" is "[Measures]"), in
// ASCII only: member names in other scripts compare as written.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace orvik {

// `c` with A-Z turned into a-z.
inline char LowerAsciiChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` with A-Z turned into a-z.
inline std::string LowerAscii(std::string text) {
    for (char& c : text) c = LowerAsciiChar(c);
    return text;
}

// True when `a` and `b` differ at most in the case of ASCII letters.
inline bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAsciiChar(x) == LowerAsciiChar(y);
           });
}

// Orders names as SameName compares them: "crossjoin" before "Descendants".
inline bool NameLess(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return LowerAsciiChar(x) < LowerAsciiChar(y);
    });
}

}  // namespace orvik
