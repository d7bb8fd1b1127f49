#include "core/CellNumber.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <string_view>

int CellNumber(std::string_view text) {
    size_t i = 0;
    const size_t size = text.size();
    // Spaces and non-breaking spaces (U+00A0) are not there as far as the number is concerned.
    auto skipBlanks = [&] {
        while (i < size) {
            if (text[i] == ' ')
                ++i;
            else if (text[i] == '\xC2' && i + 1 < size && text[i + 1] == '\xA0')
                i += 2;
            else
                break;
        }
    };
    skipBlanks();
    while (i < size && (text[i] == '\t' || text[i] == '\n' || text[i] == '\v' || text[i] == '\f' ||
                        text[i] == '\r')) {
        ++i;
        skipBlanks();
    }
    bool negative = false;
    if (i < size && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (skipBlanks(); i < size && text[i] >= '0' && text[i] <= '9'; skipBlanks()) {
        if (value <= INT_MAX) value = value * 10 + (text[i] - '0');
        ++i;
    }
    if (negative) value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

namespace {

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Whether a word may start at `at`: the text starts there, or a blank, a punctuation mark or a
// non-breaking space stands before it. Any other non-ASCII character is taken for a
// letter, so "АвтоПрод 5" is left alone.
bool StartsWord(std::string_view text, size_t at) {
    if (at == 0) return true;
    const auto before = static_cast<unsigned char>(text[at - 1]);
    if (before < 0x80) return !IsAsciiAlnum(static_cast<char>(before));
    return at >= 2 && text.compare(at - 2, 2, "\xC2\xA0") == 0;
}

// Whether a number starts at `at` once blanks are passed: an optional sign, then a digit.
bool NumberFollows(std::string_view text, size_t at) {
    while (at < text.size()) {
        if (text[at] == ' ' || text[at] == '\t') {
            ++at;
        } else if (text.compare(at, 2, "\xC2\xA0") == 0) {
            at += 2;
        } else {
            break;
        }
    }
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    return at < text.size() && text[at] >= '0' && text[at] <= '9';
}

}  // namespace

std::string WithoutSalesAbbreviation(std::string text) {
    constexpr std::string_view kAbbreviation = "Прод";
    for (size_t at = text.find(kAbbreviation); at != std::string::npos;
         at = text.find(kAbbreviation, at)) {
        size_t end = at + kAbbreviation.size();
        if (end < text.size() && text[end] == '.') ++end;
        if (StartsWord(text, at) && NumberFollows(text, end)) {
            text.erase(at, end - at);
        } else {
            at += kAbbreviation.size();
        }
    }
    return text;
}
