// Reads the command line: keys introduced by "-" or "/", values after ":", optionally in double
// quotes (e.g. /act:Daily, -act:"Daily Run", /prm:"Region=North"). Keys are folded to lower case
// unless case-sensitive; when a key is given twice, its first value stays.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CCmdLineParser {
  public:
    // Scans one command-line text as a whole (the form a scheduler on another system may hand
    // over): a "-" or "/" anywhere outside a value starts a key, and unquoted values end at a
    // blank.
    CCmdLineParser(std::string_view commandLine, bool caseSensitive);

    // Scans an argument list the shell has already split. An argument is a key only when it starts
    // with "-" or "/" and the part before its first ":" holds no further "/"; every other argument
    // is a path and is not scanned. A key's value is the rest of its argument (the shell already
    // kept blanks together), without surrounding quotes.
    CCmdLineParser(const std::vector<std::string>& arguments, bool caseSensitive);

    // True when the key was given (with or without a value).
    bool HasKey(std::string_view key) const;
    // The key's value; nullopt when the key is absent.
    std::optional<std::string> GetVal(std::string_view key) const;
    // The arguments that are not keys, in order; the first is the report file.
    const std::vector<std::string>& Paths() const { return paths_; }
    // The keys given, folded as they are looked up, in sorted order.
    std::vector<std::string> Keys() const;
    // True when at least one key was found.
    bool Parsed() const { return !keys_.empty(); }

  private:
    std::string Fold(std::string_view key) const;
    void Store(std::string_view key, std::string_view value);
    void ScanText(std::string_view text);

    bool caseSensitive_;
    std::map<std::string, std::string, std::less<>> keys_;
    std::vector<std::string> paths_;
};
