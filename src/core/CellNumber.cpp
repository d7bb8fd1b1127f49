#include "core/CellNumber.h"

#include <algorithm>
#include <climits>
#include <cstddef>

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
