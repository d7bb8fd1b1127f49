#include "app/CmdLineParser.h"

#include <algorithm>
#include <cctype>

CCmdLineParser::CCmdLineParser(std::string_view commandLine, bool caseSensitive)
    : caseSensitive_(caseSensitive) {
    ScanText(commandLine);
}

CCmdLineParser::CCmdLineParser(const std::vector<std::string>& arguments, bool caseSensitive)
    : caseSensitive_(caseSensitive) {
    for (const std::string& argument : arguments) {
        const bool keyLike = !argument.empty() && (argument[0] == '-' || argument[0] == '/');
        const std::string_view head = std::string_view(argument).substr(0, argument.find(':'));
        // "/srv/reports/Daily.ovk" is a path, "/act:Daily" and "-act" are keys.
        if (!keyLike || head.find('/', 1) != std::string_view::npos) {
            paths_.push_back(argument);
            continue;
        }
        const size_t colon = argument.find(':');
        if (colon == std::string::npos) {
            Store(std::string_view(argument).substr(1), {});
            continue;
        }
        std::string_view value = std::string_view(argument).substr(colon + 1);
        if (!value.empty() && value.front() == '"') {
            value.remove_prefix(1);
            const size_t close = value.find('"');
            // Text after the closing quote may hold further keys, as on a whole command line.
            if (close != std::string_view::npos) {
                Store(head.substr(1), value.substr(0, close));
                ScanText(value.substr(close + 1));
                continue;
            }
        }
        Store(head.substr(1), value);
    }
}

void CCmdLineParser::ScanText(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t marker = text.find_first_of("-/", pos);
        if (marker == std::string_view::npos || marker + 1 >= text.size()) return;
        const size_t keyStart = marker + 1;
        const size_t stop = text.find_first_of(" :", keyStart);
        if (stop == std::string_view::npos) {
            Store(text.substr(keyStart), {});
            return;
        }
        const std::string_view key = text.substr(keyStart, stop - keyStart);
        if (text[stop] == ' ' || stop + 1 == text.size()) {
            if (!key.empty()) Store(key, {});
            pos = stop + 1;
            continue;
        }
        size_t valueStart = stop + 1;
        const bool quoted = text[valueStart] == '"';
        if (quoted) ++valueStart;
        const size_t valueEnd = text.find(quoted ? '"' : ' ', valueStart);
        if (valueEnd == std::string_view::npos) {
            if (!key.empty()) Store(key, text.substr(valueStart));
            return;
        }
        if (!key.empty()) Store(key, text.substr(valueStart, valueEnd - valueStart));
        pos = valueEnd + 1;
    }
}

std::string CCmdLineParser::Fold(std::string_view key) const {
    std::string folded(key);
    if (!caseSensitive_) {
        std::transform(folded.begin(), folded.end(), folded.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
    return folded;
}

void CCmdLineParser::Store(std::string_view key, std::string_view value) {
    if (key.empty()) return;
    keys_.try_emplace(Fold(key), std::string(value));  // the first value wins
}

bool CCmdLineParser::HasKey(std::string_view key) const {
    return keys_.contains(Fold(key));
}

std::optional<std::string> CCmdLineParser::GetVal(std::string_view key) const {
    const auto found = keys_.find(Fold(key));
    if (found == keys_.end()) return std::nullopt;
    return found->second;
}

std::vector<std::string> CCmdLineParser::Keys() const {
    std::vector<std::string> keys;
    for (const auto& [key, value] : keys_) keys.push_back(key);
    return keys;
}
