#include "http/UrlCoding.h"

#include <array>

namespace orvik::http {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string PercentDecode(std::string_view text, bool plusIsBlank) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(plusIsBlank && c == '+' ? ' ' : c);
    }
    return out;
}

std::string PercentEncode(std::string_view text, bool keepSlashes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                                byte == '_' || byte == '~' || (keepSlashes && byte == '/');
        if (unreserved) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 15]);
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> ParseUrlEncoded(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> arguments;
    while (!text.empty()) {
        const size_t end = text.find('&');
        const std::string_view part = text.substr(0, end);
        if (!part.empty()) {
            const size_t equals = part.find('=');
            arguments.emplace_back(PercentDecode(part.substr(0, equals), true),
                                   equals == std::string_view::npos
                                       ? std::string()
                                       : PercentDecode(part.substr(equals + 1), true));
        }
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return arguments;
}

std::optional<std::string> Base64Decode(std::string_view text) {
    static const std::array<int, 256> kValues = [] {
        std::array<int, 256> values{};
        values.fill(-1);
        const std::string_view alphabet =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (size_t i = 0; i < alphabet.size(); ++i)
            values[static_cast<unsigned char>(alphabet[i])] = static_cast<int>(i);
        return values;
    }();
    while (!text.empty() && text.back() == '=') text.remove_suffix(1);
    if (text.size() % 4 == 1) return std::nullopt;
    std::string out;
    out.reserve(text.size() * 3 / 4);
    unsigned accumulator = 0;
    int bits = 0;
    for (const char c : text) {
        const int value = kValues[static_cast<unsigned char>(c)];
        if (value < 0) return std::nullopt;
        accumulator = (accumulator << 6) | static_cast<unsigned>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((accumulator >> bits) & 0xFF));
        }
    }
    return out;
}

}  // namespace orvik::http
