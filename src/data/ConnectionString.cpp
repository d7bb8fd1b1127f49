#include "data/ConnectionString.h"

#include <algorithm>
#include <cctype>

#include "core/TextEncoding.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool SameKey(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool IsSecretKey(std::string_view key) {
    const std::string lower = LowerConnectionText(key);
    return lower == "pwd" || lower == "pass" ||
           (lower.size() >= 8 && lower.compare(lower.size() - 8, 8, "password") == 0);
}

}  // namespace

std::string LowerConnectionText(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::vector<ConnectionStringPart> ParseConnectionString(std::string_view text) {
    std::vector<ConnectionStringPart> parts;
    size_t at = 0;
    while (at < text.size()) {
        // The key runs to the first "="; "==" inside a key stands for a literal "=".
        std::string key;
        size_t i = at;
        bool haveEquals = false;
        for (; i < text.size() && text[i] != ';'; ++i) {
            if (text[i] == '=') {
                if (i + 1 < text.size() && text[i + 1] == '=') {
                    key += '=';
                    ++i;
                    continue;
                }
                haveEquals = true;
                break;
            }
            key += text[i];
        }
        if (!haveEquals) {
            at = i + 1;  // a fragment without "=": nothing to keep
            continue;
        }
        ++i;
        while (i < text.size() && IsBlank(text[i])) ++i;
        ConnectionStringPart part;
        part.Key = orvik::Trim(key, " \t\r\n");
        part.ValueBegin = i;
        if (i < text.size() && (text[i] == '"' || text[i] == '\'' || text[i] == '{')) {
            const char open = text[i];
            const char close = open == '{' ? '}' : open;
            std::string value;
            size_t j = i + 1;
            for (; j < text.size(); ++j) {
                if (text[j] == close) {
                    if (j + 1 < text.size() && text[j + 1] == close) {
                        value += close;
                        ++j;
                        continue;
                    }
                    break;
                }
                value += text[j];
            }
            size_t end = std::min(j + 1, text.size());
            part.ValueEnd = end;
            part.Value = std::move(value);
            // Anything between the closing quote and the next ";" is ignored.
            while (end < text.size() && text[end] != ';') ++end;
            at = end + 1;
        } else {
            size_t end = text.find(';', i);
            if (end == std::string_view::npos) end = text.size();
            size_t valueEnd = end;
            while (valueEnd > i && IsBlank(text[valueEnd - 1])) --valueEnd;
            part.Value = std::string(text.substr(i, valueEnd - i));
            part.ValueEnd = valueEnd;
            at = end + 1;
        }
        if (!part.Key.empty()) parts.push_back(std::move(part));
    }
    return parts;
}

std::string ConnectionKeyValue(std::string_view text, std::string_view key) {
    for (const ConnectionStringPart& part : ParseConnectionString(text))
        if (SameKey(part.Key, key)) return part.Value;
    return {};
}

bool HasConnectionKey(std::string_view text, std::string_view key) {
    for (const ConnectionStringPart& part : ParseConnectionString(text))
        if (SameKey(part.Key, key)) return true;
    return false;
}

std::string ConnectionPair(std::string_view key, std::string_view value) {
    std::string result(key);
    result += '=';
    const bool needsQuotes = value.find_first_of(";\"'") != std::string_view::npos ||
                             (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back())));
    if (!needsQuotes) {
        result += value;
        return result;
    }
    // Double quotes unless the value has some and no single ones; the chosen quote is doubled.
    const char quote =
        value.find('"') != std::string_view::npos && value.find('\'') == std::string_view::npos
            ? '\''
            : '"';
    result += quote;
    for (char c : value) {
        result += c;
        if (c == quote) result += c;
    }
    result += quote;
    return result;
}

std::string MaskConnectionSecrets(std::string_view text) {
    std::string masked(text);
    const std::vector<ConnectionStringPart> parts = ParseConnectionString(text);
    for (auto part = parts.rbegin(); part != parts.rend(); ++part)
        if (IsSecretKey(part->Key) && part->ValueEnd > part->ValueBegin)
            masked.replace(part->ValueBegin, part->ValueEnd - part->ValueBegin, "***");
    return masked;
}

std::vector<std::string> ConnectionSecretValues(std::string_view text) {
    std::vector<std::string> values;
    for (const ConnectionStringPart& part : ParseConnectionString(text))
        if (IsSecretKey(part.Key)) values.push_back(part.Value);
    return values;
}

std::string RebuildConnectionString(std::string_view provider, std::string_view initialization) {
    std::string result = ConnectionPair("Provider", provider);
    const std::vector<ConnectionStringPart> parts = ParseConnectionString(initialization);
    for (const char* key : {"Initial Catalog", "Data Source", "Location", "Integrated Security",
                            "User ID", "Password"}) {
        for (const ConnectionStringPart& part : parts) {
            if (!SameKey(part.Key, key)) continue;
            if (!part.Value.empty()) result += ";" + ConnectionPair(key, part.Value);
            break;
        }
    }
    return result;
}

std::string DlgDSRebuild(std::string_view edited) {
    const std::string provider = ConnectionKeyValue(edited, "Provider");
    if (provider.empty()) return {};
    return RebuildConnectionString(provider, edited);
}
