// Percent-encoding as URLs and HTML forms use it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvik::http {

// Decodes %XX escapes, and '+' as a blank when `plusIsBlank` (query strings and form bodies).
// A '%' not followed by two hex digits is kept as it stands, as browsers send it.
std::string PercentDecode(std::string_view text, bool plusIsBlank);

// Encodes everything but the unreserved characters (letters, digits, "-._~"), and '/' too unless
// `keepSlashes`, for building links to paths.
std::string PercentEncode(std::string_view text, bool keepSlashes = false);

// "a=1&b=x+y" into decoded name/value pairs, in order; an argument without '=' has an empty value.
std::vector<std::pair<std::string, std::string>> ParseUrlEncoded(std::string_view text);

// The decoded bytes of standard base64 text; nullopt when it is not base64.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace orvik::http
