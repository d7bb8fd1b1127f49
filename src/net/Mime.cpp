// The encoders are table-driven and write into pre-sized strings: a mailed export can carry
// attachments of tens of megabytes, and the encoding must not cost more than sending does.
#include "net/Mime.h"

#include <errno.h>
#include <iconv.h>
#include <sys/random.h>

#include <algorithm>
#include <cstring>
#include <system_error>
#include <vector>

#include "core/TextEncoding.h"

namespace orvik::mime {
namespace {

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kHexDigits[] = "0123456789ABCDEF";

// Header lines longer than this are folded where they can be.

// Longest Q-encoded word we make: "Subject: " plus one word still fits a 78-character line.
constexpr size_t kMaxEncodedWord = 66;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool IsAscii(std::string_view text) {
    for (unsigned char c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

// Length of the UTF-8 sequence that starts with `lead` (1 for anything that is not a lead byte,
// which only happens in text that was checked to be valid UTF-8 at its continuation bytes).
size_t Utf8SequenceLength(unsigned char lead) {
    if (lead < 0xC0) return 1;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    return 4;
}

// A converter from UTF-8 into one character set, for as long as one encoding job runs.
class Utf8Converter {
  public:
    explicit Utf8Converter(std::string_view charset)
        : handle_(iconv_open(std::string(charset).c_str(), "UTF-8")) {}
    ~Utf8Converter() {
        if (Valid()) iconv_close(handle_);
    }
    Utf8Converter(const Utf8Converter&) = delete;
    Utf8Converter& operator=(const Utf8Converter&) = delete;

    bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    std::optional<std::string> Convert(std::string_view text) {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        std::string out(text.size() * 2 + 16, '\0');
        char* in = const_cast<char*>(text.data());
        size_t inLeft = text.size();
        size_t written = 0;
        for (;;) {
            char* outPtr = out.data() + written;
            size_t outLeft = out.size() - written;
            const size_t result = iconv(handle_, &in, &inLeft, &outPtr, &outLeft);
            written = out.size() - outLeft;
            if (result != static_cast<size_t>(-1)) break;
            if (errno != E2BIG) return std::nullopt;
            out.resize(out.size() * 2);
        }
        // Flush whatever shift state the set keeps.
        for (;;) {
            char* outPtr = out.data() + written;
            size_t outLeft = out.size() - written;
            if (iconv(handle_, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1)) {
                written = out.size() - outLeft;
                break;
            }
            if (errno != E2BIG) return std::nullopt;
            out.resize(out.size() * 2);
        }
        out.resize(written);
        return out;
    }

  private:
    iconv_t handle_;
};

void AppendQEncoded(std::string& out, std::string_view bytes) {
    for (unsigned char c : bytes) {
        const bool literal = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                             (c >= '0' && c <= '9') || c == '!' || c == '*' || c == '+' ||
                             c == '-' || c == '/';
        if (literal) {
            out += static_cast<char>(c);
        } else if (c == ' ') {
            out += '_';
        } else {
            out += '=';
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 15];
        }
    }
}

// The characters of a text, each already in the set the words will declare: an encoded word must
// hold whole characters only (RFC 2047), so words are cut between these pieces.
struct Pieces {
    std::vector<std::string> Items;
    std::string Charset;
};

Pieces SplitForWords(std::string_view text, std::string_view charset) {
    Pieces pieces;
    if (!IsValidUtf8(text)) {
        // Bytes of unknown origin: one byte is one character as far as we can tell.
        pieces.Charset = charset;
        for (char c : text) pieces.Items.emplace_back(1, c);
        return pieces;
    }
    std::vector<std::string> characters;
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8SequenceLength(static_cast<unsigned char>(text[i]));
        characters.emplace_back(text.substr(i, length));
        i += length;
    }
    if (!IsUtf8Charset(charset) && !charset.empty()) {
        Utf8Converter converter(charset);
        if (converter.Valid()) {
            std::vector<std::string> converted;
            converted.reserve(characters.size());
            for (const std::string& character : characters) {
                std::optional<std::string> bytes = converter.Convert(character);
                if (!bytes) break;
                converted.push_back(std::move(*bytes));
            }
            if (converted.size() == characters.size()) {
                pieces.Items = std::move(converted);
                pieces.Charset = charset;
                return pieces;
            }
        }
    }
    pieces.Items = std::move(characters);
    pieces.Charset = "UTF-8";
    return pieces;
}

}  // namespace

void AppendBase64(std::string& out, std::string_view data) {
    const size_t fullGroups = data.size() / 3;
    const size_t encodedChars = (data.size() + 2) / 3 * 4;
    const size_t lineBreaks = encodedChars / kEncodedLineLength;
    const size_t start = out.size();
    out.resize(start + encodedChars + lineBreaks * 2);
    char* dest = out.data() + start;
    const auto* src = reinterpret_cast<const unsigned char*>(data.data());
    size_t column = 0;
    for (size_t group = 0; group < fullGroups; ++group, src += 3) {
        const unsigned value = (unsigned(src[0]) << 16) | (unsigned(src[1]) << 8) | src[2];
        dest[0] = kBase64Alphabet[value >> 18];
        dest[1] = kBase64Alphabet[(value >> 12) & 63];
        dest[2] = kBase64Alphabet[(value >> 6) & 63];
        dest[3] = kBase64Alphabet[value & 63];
        dest += 4;
        column += 4;
        if (column == kEncodedLineLength) {
            dest[0] = '\r';
            dest[1] = '\n';
            dest += 2;
            column = 0;
        }
    }
    const size_t rest = data.size() - fullGroups * 3;
    if (rest > 0) {
        const unsigned value = (unsigned(src[0]) << 16) | (rest == 2 ? unsigned(src[1]) << 8 : 0);
        dest[0] = kBase64Alphabet[value >> 18];
        dest[1] = kBase64Alphabet[(value >> 12) & 63];
        dest[2] = rest == 2 ? kBase64Alphabet[(value >> 6) & 63] : '=';
        dest[3] = '=';
        dest += 4;
        column += 4;
        if (column == kEncodedLineLength) {
            dest[0] = '\r';
            dest[1] = '\n';
            dest += 2;
        }
    }
    out.resize(static_cast<size_t>(dest - out.data()));
}

std::string Base64Encode(std::string_view data) {
    std::string out;
    AppendBase64(out, data);
    return out;
}

std::string QuotedPrintableEncode(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 16);
    size_t column = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            ++i;
            column = 0;
            continue;
        }
        const bool atLineEnd = i + 1 == text.size() ||
                               (text[i + 1] == '\r' && i + 2 < text.size() && text[i + 2] == '\n');
        char token[3];
        size_t tokenLength = 1;
        if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !atLineEnd)) {
            token[0] = static_cast<char>(c);
        } else {
            token[0] = '=';
            token[1] = kHexDigits[c >> 4];
            token[2] = kHexDigits[c & 15];
            tokenLength = 3;
        }
        // The last token of a line may use the column a soft break would need.
        const size_t limit = atLineEnd ? kEncodedLineLength : kEncodedLineLength - 1;
        if (column + tokenLength > limit) {
            out += "=\r\n";
            column = 0;
        }
        out.append(token, tokenLength);
        column += tokenLength;
    }
    return out;
}

std::string QEncodeWords(std::string_view text, std::string_view charset) {
    if (text.empty()) return {};
    const Pieces pieces = SplitForWords(text, charset.empty() ? "UTF-8" : charset);
    const std::string prefix = "=?" + pieces.Charset + "?Q?";
    const size_t overhead = prefix.size() + 2;
    // A single character always gets a word of its own, however long its set's name is.
    const size_t payloadLimit = kMaxEncodedWord > overhead + 12 ? kMaxEncodedWord - overhead : 12;
    std::string out;
    std::string payload;
    const auto closeWord = [&] {
        if (payload.empty()) return;
        if (!out.empty()) out += "\r\n ";
        out += prefix;
        out += payload;
        out += "?=";
        payload.clear();
    };
    std::string encoded;
    for (const std::string& piece : pieces.Items) {
        encoded.clear();
        AppendQEncoded(encoded, piece);
        if (!payload.empty() && payload.size() + encoded.size() > payloadLimit) closeWord();
        payload += encoded;
    }
    closeWord();
    return out;
}

void AppendFoldedHeader(std::string& out, std::string_view field, size_t limit) {
    const size_t nameEnd = field.find(':');
    bool first = true;
    while (!field.empty()) {
        size_t lineEnd = field.find("\r\n");
        std::string_view line = field.substr(0, lineEnd);
        field = lineEnd == std::string_view::npos ? std::string_view() : field.substr(lineEnd + 2);
        // Never fold inside the field name or right after it, nor before a continuation's
        // own leading blank.
        size_t minimum = first && nameEnd != std::string_view::npos ? nameEnd + 2 : 1;
        first = false;
        while (line.size() > limit) {
            size_t at = std::string_view::npos;
            for (size_t i = std::min(limit, line.size() - 1); i >= minimum && i > 0; --i) {
                if (line[i] == ' ' || line[i] == '\t') {
                    at = i;
                    break;
                }
            }
            if (at == std::string_view::npos) {
                at = line.find_first_of(" \t", std::max(minimum, limit));
                if (at == std::string_view::npos) break;
            }
            out.append(line.substr(0, at));
            out += "\r\n";
            line = line.substr(at);
            minimum = 1;
        }
        out.append(line);
        out += "\r\n";
    }
}

std::string DotStuff(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    if (!text.empty() && text[0] == '.') out += '.';
    size_t start = 0;
    for (;;) {
        const size_t found = text.find("\r\n.", start);
        if (found == std::string_view::npos) break;
        out.append(text.substr(start, found + 3 - start));
        out += '.';
        start = found + 3;
    }
    out.append(text.substr(start));
    return out;
}

std::string NormaliseLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string NewUuid() {
    unsigned char bytes[16];
    size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t got = getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
        filled += static_cast<size_t>(got);
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    std::string text;
    text.reserve(36);
    for (size_t i = 0; i < sizeof bytes; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += "0123456789abcdef"[bytes[i] >> 4];
        text += "0123456789abcdef"[bytes[i] & 15];
    }
    return text;
}

bool IsUtf8Charset(std::string_view charset) {
    return EqualsNoCase(charset, "UTF-8") || EqualsNoCase(charset, "UTF8");
}

std::optional<std::string> ConvertFromUtf8(std::string_view text, std::string_view charset) {
    if (IsUtf8Charset(charset) || IsAscii(text) || !IsValidUtf8(text)) return std::string(text);
    if (charset.empty()) return std::nullopt;
    Utf8Converter converter(charset);
    if (!converter.Valid()) return std::nullopt;
    return converter.Convert(text);
}

CharsetText EncodeForCharset(std::string_view text, std::string_view charset) {
    std::optional<std::string> bytes = ConvertFromUtf8(text, charset);
    if (bytes) return {std::move(*bytes), std::string(charset)};
    return {std::string(text), "UTF-8"};
}

}  // namespace orvik::mime
