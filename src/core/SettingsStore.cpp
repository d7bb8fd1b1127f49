#include "core/SettingsStore.h"

#include <algorithm>
#include <charconv>

#include <cstdlib>
#include <filesystem>

#include "core/Paths.h"
#include "core/TextEncoding.h"

namespace orvik {

int SecondsFromText(std::string_view text, int fallback) {
    const std::string_view digits = Trim(text);
    long long seconds = -1;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
    if (error != std::errc() || end != digits.data() + digits.size() || seconds < 0)
        return fallback;
    return static_cast<int>(std::min<long long>(seconds, 100'000'000));
}
namespace {

// Values may hold line breaks and backslashes; escape both so each entry stays on one line and
// reads back exactly.
// Values with blanks at either end, or starting with a quote, are written in double quotes so
// that hand-edited files can be trimmed without touching stored blanks.
std::string EscapeValue(std::string_view value) {
    const bool quote =
        !value.empty() && (value.front() == ' ' || value.back() == ' ' || value.front() == '\t' ||
                           value.back() == '\t' || value.front() == '"');
    std::string out = quote ? "\"" : "";
    for (const char c : value) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    if (quote) out += '"';
    return out;
}

std::string UnescapeValue(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += value[i];
        }
    }
    return out;
}

constexpr std::string_view kLineBlanks = " \t\r";

// Stored passwords are not meant to resist an attacker with the file, only a glance over a
// shoulder: a keyed XOR, written as hex behind a marker so plain and protected values can't mix.
constexpr std::string_view kSecretMarker = "enc:";
constexpr std::string_view kSecretKey = "Nobrant/Orvik18";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

SettingsStore::SettingsStore(std::string path) : path_(std::move(path)) {
    std::string text;
    if (!ReadWholeFile(path_, text)) {
        std::error_code error;
        if (std::filesystem::exists(path_, error)) {
            readProblem_ = "The settings file " + path_ +
                           " cannot be read: the defaults are used, and it is not written over";
        }
        return;
    }
    // A binary file (a picture or a database saved under the wrong name) parsed as lines would
    // be written back as a few garbled entries: it is neither read nor replaced.
    const bool binary = std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f';
    });
    if (binary) {
        readProblem_ = "The settings file " + path_ +
                       " is not a text file: the defaults are used, and it is not written over";
        return;
    }
    Parse(text);
}

std::string SettingsStore::DefaultPath(std::string_view company) {
    if (const char* explicitPath = std::getenv("ORVIK_CONFIG"); explicitPath && *explicitPath) {
        return explicitPath;
    }
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
    } else {
        base = ".config";
    }
    return WithTrailingSlash(base) + std::string(company) + "/Orvik18.ini";
}

void SettingsStore::Parse(std::string_view text) {
    sections_.push_back({"", {}});
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = Trim(text.substr(pos, end - pos), kLineBlanks);
        pos = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            sections_.push_back({std::string(line.substr(1, line.size() - 2)), {}});
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        sections_.back().entries.emplace_back(
            std::string(Trim(line.substr(0, equals), kLineBlanks)),
            UnescapeValue(Trim(line.substr(equals + 1), kLineBlanks)));
    }
}

std::string SettingsStore::Serialize() const {
    std::string out;
    for (const Section& section : sections_) {
        if (section.name.empty() && section.entries.empty()) continue;
        if (!section.name.empty()) out += (out.empty() ? "[" : "\n[") + section.name + "]\n";
        for (const auto& [key, value] : section.entries)
            out += key + "=" + EscapeValue(value) + "\n";
    }
    return out;
}

const std::string* SettingsStore::Find(std::string_view section, std::string_view key) const {
    for (const Section& s : sections_) {
        if (s.name != section) continue;
        for (const auto& [k, v] : s.entries) {
            if (k == key) return &v;
        }
    }
    return nullptr;
}

bool SettingsStore::Has(std::string_view section, std::string_view key) const {
    const std::lock_guard guard(lock_);
    return Find(section, key) != nullptr;
}

std::string SettingsStore::GetString(std::string_view section, std::string_view key,
                                     std::string_view fallback) const {
    const std::lock_guard guard(lock_);
    const std::string* value = Find(section, key);
    return value ? *value : std::string(fallback);
}

int SettingsStore::GetInt(std::string_view section, std::string_view key, int fallback) const {
    const std::lock_guard guard(lock_);
    const std::string* value = Find(section, key);
    return value ? std::atoi(value->c_str()) : fallback;
}

std::string SettingsStore::GetSecret(std::string_view section, std::string_view key,
                                     std::string_view fallback) const {
    const std::lock_guard guard(lock_);
    const std::string* value = Find(section, key);
    return value ? UnprotectSecret(*value) : std::string(fallback);
}

bool SettingsStore::WriteString(std::string_view section, std::string_view key,
                                std::string_view value) {
    // The runs of one program share its store.
    const std::lock_guard guard(lock_);
    if (!readProblem_.empty()) {
        lastError_ = readProblem_;
        return false;
    }
    if (sections_.empty()) sections_.push_back({"", {}});
    Section* target = nullptr;
    for (Section& s : sections_) {
        if (s.name == section) target = &s;
    }
    if (!target) target = &sections_.emplace_back(Section{std::string(section), {}});
    bool replaced = false;
    for (auto& [k, v] : target->entries) {
        if (k == key) v = value, replaced = true;
    }
    if (!replaced) target->entries.emplace_back(std::string(key), std::string(value));

    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), error);
    lastError_ = WriteFileAtomically(path_, Serialize());
    return lastError_.empty();
}

bool SettingsStore::WriteInt(std::string_view section, std::string_view key, int value) {
    return WriteString(section, key, std::to_string(value));
}

std::string ProtectSecret(std::string_view value) {
    static const char* hex = "0123456789abcdef";
    std::string out(kSecretMarker);
    for (size_t i = 0; i < value.size(); ++i) {
        const auto byte = static_cast<unsigned char>(value[i] ^ kSecretKey[i % kSecretKey.size()]);
        out += hex[byte >> 4];
        out += hex[byte & 0xF];
    }
    return out;
}

std::string UnprotectSecret(std::string_view stored) {
    if (stored.substr(0, kSecretMarker.size()) != kSecretMarker) return std::string(stored);
    const std::string_view digits = stored.substr(kSecretMarker.size());
    // Anything but whole hex pairs was never written protected: it is a clear value.
    if (digits.size() % 2 != 0 ||
        std::any_of(digits.begin(), digits.end(), [](char c) { return HexDigit(c) < 0; }))
        return std::string(stored);
    std::string out;
    out.reserve(digits.size() / 2);
    for (size_t i = 0; i < digits.size(); i += 2) {
        const int byte = HexDigit(digits[i]) << 4 | HexDigit(digits[i + 1]);
        out += static_cast<char>(byte ^ kSecretKey[(i / 2) % kSecretKey.size()]);
    }
    return out;
}

bool SettingsStore::WriteSecret(std::string_view section, std::string_view key,
                                std::string_view value) {
    return WriteString(section, key, ProtectSecret(value));
}

}  // namespace orvik
