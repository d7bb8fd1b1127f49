// What a value may look like in the log: one log line each, so a value cannot forge the lines after
// it, and no secret in clear.
#pragma once

#include <string>
#include <string_view>

namespace orvik {

// `text` with line breaks, tabs and other control characters written as \n, \r, \t and \xNN;
// every other byte stays as it is.
std::string EscapeForLog(std::string_view text);

// True for names that say they hold a secret (password, pwd, secret, token, in any case).
bool IsSecretName(std::string_view name);

}  // namespace orvik
