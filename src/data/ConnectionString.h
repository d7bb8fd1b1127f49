// Connection strings: "Key=Value;Key=Value" texts as report authors write them for Windows data
// providers and ODBC drivers. Keys are matched whole and without regard to case; a value may be
// quoted with double or single quotes (a doubled quote stands for one) or with ODBC braces, so a
// ";" inside a quoted password does not end it. Also the rebuild behind the connection editor and
// the masking that keeps passwords out of logs, messages and the status bar.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One "Key=Value" pair as written, with where its value stands in the original text.
struct ConnectionStringPart {
    std::string Key;                      // trimmed, as written
    std::string Value;                    // trimmed and unquoted
    size_t ValueBegin = 0, ValueEnd = 0;  // the raw value's span in the parsed text
};

// Splits a connection string into its pairs, in order. Text without "=" is skipped.
std::vector<ConnectionStringPart> ParseConnectionString(std::string_view text);

// The value of `key` (whole key, any case) in `text`; the first one wins; "" when absent.
std::string ConnectionKeyValue(std::string_view text, std::string_view key);

// `text` in lower case, as keys and provider names compare ("Provider=SQLite" serves "sqlite").
std::string LowerConnectionText(std::string_view text);

// True when `text` has the key `key` (whole key, any case), even with an empty value.
bool HasConnectionKey(std::string_view text, std::string_view key);

// "Key=Value" with the value quoted when it would not survive as it stands (a ";", a quote,
// leading or trailing spaces).
std::string ConnectionPair(std::string_view key, std::string_view value);

// `text` with the value of every password-like key (Pwd, Password, ...Password) replaced by "***",
// everything else unchanged. Used for every connection string that reaches a log, a message or the
// status bar.
std::string MaskConnectionSecrets(std::string_view text);

// The values of the password-like keys of `text`, as written (before any substitution).
std::vector<std::string> ConnectionSecretValues(std::string_view text);

// The connection editor's result: "Provider=" + `provider`, then Initial Catalog, Data Source,
// Location, Integrated Security, User ID and Password from `initialization`, in that order, each
// only when not empty. Every other key is dropped.
std::string RebuildConnectionString(std::string_view provider, std::string_view initialization);

// The whole rebuild of an edited connection string: its provider and its six editor keys as in
// RebuildConnectionString. Without a provider, "" (the editor says "Not found Provider ???").
std::string DlgDSRebuild(std::string_view edited);
