// Reading shown numbers, and making texts and names a workbook accepts.
#include "XlsxCells.h"

#include <cctype>
#include <charconv>
#include <vector>

namespace xlsx {
namespace {

// A double holds 15 significant decimal digits exactly; a longer number is an identifier.
constexpr int kMaxSignificantDigits = 15;
constexpr size_t kMaxSheetNameUnits = 31;
// A workbook shows at most this many digits after the point.
constexpr int kMaxDecimals = 30;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The length of the grouping separator at `at` (blank, comma, non-breaking blank), 0 for none.
size_t SeparatorAt(std::string_view text, size_t at) {
    if (at >= text.size()) return 0;
    if (text[at] == ' ' || text[at] == ',') return 1;
    if (text[at] == '\xC2' && at + 1 < text.size() && text[at + 1] == '\xA0') return 2;
    return 0;
}

// The length of the well-formed UTF-8 sequence at `at`, 0 when the bytes there are not one.
size_t SequenceAt(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    }
    return length;
}

// The lower-case partner of the code point `c` in the scripts reports are written in (Latin,
// Greek, Cyrillic); `c` itself for any other.
char32_t LowerCase(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F)) {
        return c + 0x20;
    }
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c == 0x178) return 0xFF;
    // Latin Extended-A pairs each capital with the letter after it; the runs differ in which
    // of the two comes first.
    const bool evenCapitals = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool oddCapitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenCapitals && c % 2 == 0) || (oddCapitals && c % 2 == 1)) return c + 1;
    return c;
}

// `name` (valid UTF-8) as a workbook compares sheet names: letters of either case alike.
std::string FoldCase(std::string_view name) {
    std::string folded;
    folded.reserve(name.size());
    for (size_t at = 0; at < name.size();) {
        const auto byte = [&](size_t i) { return static_cast<unsigned char>(name[at + i]); };
        const size_t length = SequenceAt(name, at);
        // Only one- and two-byte letters have partners here.
        if (length == 1 || length == 2) {
            const char32_t c = length == 1 ? byte(0) : ((byte(0) & 0x1Fu) << 6) | (byte(1) & 0x3Fu);
            const char32_t lower = LowerCase(c);
            if (lower < 0x80) {
                folded += static_cast<char>(lower);
            } else {
                folded += static_cast<char>(0xC0 | (lower >> 6));
                folded += static_cast<char>(0x80 | (lower & 0x3F));
            }
        } else {
            folded.append(name.substr(at, length == 0 ? 1 : length));
        }
        at += length == 0 ? 1 : length;
    }
    return folded;
}

// `name` cut to `units` UTF-16 units (what the workbook counts), whole characters only.
std::string CutToUnits(std::string_view name, size_t units) {
    size_t used = 0, at = 0;
    while (at < name.size()) {
        const size_t length = SequenceAt(name, at);
        const size_t cost = length == 4 ? 2 : 1;
        if (used + cost > units) break;
        used += cost;
        at += length;
    }
    return std::string(name.substr(0, at));
}

}  // namespace

bool ReadShownNumber(std::string_view text, ShownNumber& number) {
    size_t at = 0;
    std::string plain;
    if (at < text.size() && text[at] == '-') {
        plain += '-';
        ++at;
    }
    // The integer part as groups of digits between separators.
    std::vector<size_t> groups;
    for (;;) {
        const size_t start = at;
        while (at < text.size() && IsDigit(text[at])) plain += text[at++];
        if (at == start) return false;
        groups.push_back(at - start);
        const size_t separator = SeparatorAt(text, at);
        if (separator == 0) break;
        at += separator;
    }
    const size_t lead = groups.front();
    if (groups.size() > 1) {
        for (size_t i = 1; i < groups.size(); ++i) {
            if (groups[i] != 3) return false;
        }
        // The page groups at most three times, so a larger number keeps a longer first group.
        if (lead > 3 && groups.size() != 4) return false;
    }
    // A leading zero is a code's ("07"), and "0 123" or "0,123" is no way the page shows a
    // number (nor one of a thousand, which "0,123" is in half the world).
    const size_t integerStart = plain[0] == '-' ? 1 : 0;
    if (plain[integerStart] == '0' && (lead > 1 || groups.size() > 1)) return false;
    int decimals = 0;
    if (at < text.size() && text[at] == '.') {
        plain += '.';
        ++at;
        while (at < text.size() && IsDigit(text[at])) {
            plain += text[at++];
            ++decimals;
        }
        if (decimals == 0 || decimals > kMaxDecimals) return false;
    }
    if (at != text.size()) return false;
    int significant = 0;
    bool leading = true;
    for (const char c : plain) {
        if (!IsDigit(c)) continue;
        if (leading && c == '0') continue;
        leading = false;
        ++significant;
    }
    if (significant > kMaxSignificantDigits) return false;
    double value = 0;
    const auto result = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (result.ec != std::errc() || result.ptr != plain.data() + plain.size()) return false;
    number.Value = value;
    number.Grouped = groups.size() > 1;
    number.Decimals = decimals;
    return true;
}

std::string NumberFormatFor(const ShownNumber& number) {
    std::string format = number.Grouped ? "#,##0" : "0";
    if (number.Decimals > 0) format += "." + std::string(static_cast<size_t>(number.Decimals), '0');
    return format;
}

std::string ValidUtf8(std::string_view text) {
    std::string valid;
    valid.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t length = SequenceAt(text, at);
        if (length == 0) {
            valid += "\xEF\xBF\xBD";
            ++at;
        } else {
            valid.append(text.substr(at, length));
            at += length;
        }
    }
    return valid;
}

size_t CharacterCount(std::string_view text) {
    size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
}

std::string_view CutUtf8(std::string_view text, size_t bytes) {
    if (text.size() <= bytes) return text;
    size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::string UniqueSheetName(std::string_view name, std::set<std::string>& taken) {
    std::string safe;
    for (const char c : ValidUtf8(name)) {
        const bool forbidden = std::string_view("[]:*?/\\").find(c) != std::string_view::npos ||
                               (static_cast<unsigned char>(c) < 0x20);
        safe += forbidden ? '_' : c;
    }
    while (!safe.empty() && safe.front() == '\'') safe.erase(0, 1);
    while (!safe.empty() && safe.back() == '\'') safe.pop_back();
    safe = CutToUnits(safe, kMaxSheetNameUnits);
    // Cutting may leave an apostrophe at the end again.
    while (!safe.empty() && safe.back() == '\'') safe.pop_back();
    if (safe.empty()) safe = "Sheet";
    // The workbook keeps this name for itself.
    if (taken.empty()) taken.insert("history");
    std::string candidate = safe;
    for (int number = 2; taken.contains(FoldCase(candidate)); ++number) {
        const std::string suffix = " (" + std::to_string(number) + ")";
        candidate = CutToUnits(safe, kMaxSheetNameUnits - suffix.size()) + suffix;
    }
    taken.insert(FoldCase(candidate));
    return candidate;
}

}  // namespace xlsx
