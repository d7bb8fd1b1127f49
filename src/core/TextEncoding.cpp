// windows-1251 is a single-byte code page: 0x00-0x7F are ASCII, 0xC0-0xFF the Russian alphabet in
// order, and 0x80-0xBF a mix of other Cyrillic letters and punctuation, held in the table below.
#include "core/TextEncoding.h"

#include <array>

namespace orvik {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Code points of bytes 0x80..0xBF.
constexpr std::array<char32_t, 64> kCp1251High = {
    0x0402,       0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC,       0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452,       0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    kReplacement, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0,       0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401,       0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0,       0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451,       0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

char32_t Cp1251ToCodePoint(unsigned char byte) {
    if (byte < 0x80) return byte;
    if (byte >= 0xC0) return 0x0410 + (byte - 0xC0);
    return kCp1251High[byte - 0x80];
}

std::optional<unsigned char> CodePointToCp1251(char32_t cp) {
    if (cp < 0x80) return static_cast<unsigned char>(cp);
    if (cp >= 0x0410 && cp <= 0x044F) return static_cast<unsigned char>(0xC0 + (cp - 0x0410));
    for (size_t i = 0; i < kCp1251High.size(); ++i) {
        if (kCp1251High[i] == cp && cp != kReplacement) return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

// Decodes one UTF-8 sequence at `pos`; returns its length, or 0 when it is malformed.
size_t DecodeUtf8(std::string_view text, size_t pos, char32_t& cp) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = byte(0);
    size_t length;
    char32_t min;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

// Control characters have no place in a page: browsers show them as boxes or stop at them, and
// C1 references are even read as windows-1252 punctuation. Tab, CR and LF are text.
bool IsDroppedControl(char32_t cp) {
    return (cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') || (cp >= 0x7F && cp <= 0x9F);
}

// True for the bytes copied to any page as they are: printable ASCII, tab, CR and LF.
bool IsPlainByte(unsigned char byte) {
    return (byte >= 0x20 && byte < 0x7F) || byte == '\t' || byte == '\n' || byte == '\r';
}

void AppendReference(std::string& out, char32_t cp) {
    char digits[16];
    size_t at = sizeof digits;
    do {
        digits[--at] = static_cast<char>('0' + cp % 10);
        cp /= 10;
    } while (cp != 0);
    out += "&#";
    out.append(digits + at, sizeof digits - at);
    out += ';';
}

}  // namespace

void AppendPageText(std::string_view text, PageCharset charset, std::string& out) {
    char32_t cp;
    for (size_t pos = 0; pos < text.size();) {
        // Pages are mostly plain ASCII, which every charset spells alike: such runs go whole.
        size_t run = pos;
        while (run < text.size() && IsPlainByte(static_cast<unsigned char>(text[run]))) ++run;
        out.append(text.data() + pos, run - pos);
        pos = run;
        if (pos == text.size()) break;
        const size_t length = DecodeUtf8(text, pos, cp);
        if (length == 0) {
            // One replacement per byte that starts no well-formed character, as decoders do.
            if (charset == PageCharset::Utf8)
                AppendUtf8(out, kReplacement);
            else
                out += '?';
            ++pos;
            continue;
        }
        if (!IsDroppedControl(cp)) {
            if (charset == PageCharset::Utf8) {
                out.append(text.data() + pos, length);
            } else if (const auto byte = CodePointToCp1251(cp)) {
                out += static_cast<char>(*byte);
            } else {
                AppendReference(out, cp);
            }
        }
        pos += length;
    }
}

bool IsCleanPageText(std::string_view text) {
    char32_t cp;
    for (size_t pos = 0; pos < text.size();) {
        if (IsPlainByte(static_cast<unsigned char>(text[pos]))) {
            ++pos;
            continue;
        }
        const size_t length = DecodeUtf8(text, pos, cp);
        if (length == 0 || IsDroppedControl(cp)) return false;
        pos += length;
    }
    return true;
}

bool CleanPageText(std::string& text) {
    if (IsCleanPageText(text)) return false;
    std::string clean;
    clean.reserve(text.size());
    AppendPageText(text, PageCharset::Utf8, clean);
    text = std::move(clean);
    return true;
}

bool FitsCp1251(std::string_view text) {
    char32_t cp;
    for (size_t pos = 0; pos < text.size();) {
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const size_t length = DecodeUtf8(text, pos, cp);
        if (length == 0 || !CodePointToCp1251(cp)) return false;
        pos += length;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string ToUpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
    }
    return upper;
}

bool IsValidUtf8(std::string_view text) {
    return FirstInvalidUtf8(text) == std::string_view::npos;
}

size_t FirstInvalidUtf8(std::string_view text) {
    char32_t cp;
    for (size_t pos = 0; pos < text.size();) {
        const size_t length = DecodeUtf8(text, pos, cp);
        if (length == 0) return pos;
        pos += length;
    }
    return std::string_view::npos;
}

std::string Cp1251ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) AppendUtf8(out, Cp1251ToCodePoint(static_cast<unsigned char>(c)));
    return out;
}

bool Utf8ToCp1251(std::string_view text, std::string& out) {
    char32_t cp;
    for (size_t pos = 0; pos < text.size();) {
        // Pages are mostly ASCII, which both encodings spell alike: copy such runs whole.
        size_t run = pos;
        while (run < text.size() && static_cast<unsigned char>(text[run]) < 0x80) ++run;
        out.append(text.data() + pos, run - pos);
        pos = run;
        if (pos == text.size()) break;
        const size_t length = DecodeUtf8(text, pos, cp);
        if (length == 0) return false;
        const auto byte = CodePointToCp1251(cp);
        if (!byte) return false;
        out += static_cast<char>(*byte);
        pos += length;
    }
    return true;
}

std::optional<std::string> Utf8ToCp1251(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    if (!Utf8ToCp1251(text, out)) return std::nullopt;
    return out;
}

std::string DecodeLegacyText(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return Cp1251ToUtf8(bytes);
}

size_t Utf8Length(std::string_view text) {
    size_t count = 0;
    for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

std::string Utf8Prefix(std::string_view text, size_t count) {
    size_t pos = 0;
    for (size_t seen = 0; pos < text.size(); ++pos) {
        if ((static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80 && seen++ == count) break;
    }
    return std::string(text.substr(0, pos));
}

std::string_view Trim(std::string_view text, std::string_view blanks) {
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace orvik
