// The user's program settings, kept in an INI-style file ([Section] headers, key=value lines)
// under the company folder: $XDG_CONFIG_HOME/Nobrant/Orvik18.ini, or the file $ORVIK_CONFIG names.
// Every write goes to disk at once (atomically), as registry writes would, so a crash loses
// nothing.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvik {

// The whole, non-negative number of seconds a setting's `text` holds (blanks around it allowed),
// capped at 10^8 s (three years: as good as no limit, and safe in any deadline arithmetic);
// `fallback` when it holds no such number.
int SecondsFromText(std::string_view text, int fallback);

// The protected form secrets are stored in (settings, and passwords in report files): not
// plainly readable, reversible by UnprotectSecret.
std::string ProtectSecret(std::string_view value);
// The secret `stored` holds: decoded when ProtectSecret wrote it, else `stored` as it stands.
std::string UnprotectSecret(std::string_view stored);

class SettingsStore {
  public:
    // Opens the store at `path` (the file need not exist yet; it is created on the first write).
    explicit SettingsStore(std::string path);

    // The default location: $ORVIK_CONFIG, else $XDG_CONFIG_HOME (or
    // ~/.config)/<company>/Orvik18.ini.
    static std::string DefaultPath(std::string_view company);

    const std::string& Path() const { return path_; }

    // The stored text of `key` in `section`, or `fallback` when absent.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view fallback = {}) const;
    // The stored integer (leading decimal number of the text), or `fallback` when absent.
    int GetInt(std::string_view section, std::string_view key, int fallback) const;
    // True when `key` is present in `section`.
    bool Has(std::string_view section, std::string_view key) const;

    // Store a value; returns false (with LastError() set) when the file cannot be written.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInt(std::string_view section, std::string_view key, int value);
    // Stores a secret in a reversible but not plainly readable form; GetSecret reads it back.
    bool WriteSecret(std::string_view section, std::string_view key, std::string_view value);
    std::string GetSecret(std::string_view section, std::string_view key,
                          std::string_view fallback = {}) const;

    const std::string& LastError() const { return lastError_; }
    // Why the file could not be read as settings (not text, unreadable), or "". Such a store
    // answers with the fallbacks and refuses every write, so the user's file is never replaced.
    const std::string& ReadProblem() const { return readProblem_; }

  private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;
    };
    const std::string* Find(std::string_view section, std::string_view key) const;
    void Parse(std::string_view text);
    std::string Serialize() const;

    mutable std::mutex lock_;
    std::string path_;
    std::vector<Section> sections_;  // in file order; the unnamed section (if any) first
    std::string lastError_;
    std::string readProblem_;
};

}  // namespace orvik
