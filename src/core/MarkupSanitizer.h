// Cell texts, column headers, sheet titles and parameter values go onto the report page as markup:
// authors put <b>, <a href>, <img>, <font> and the like into their queries and titles on purpose.
// A value from a database must not bring script along, though, neither into a browser nor into a
// mail client. These functions keep the plain markup of a text byte for byte and take out what
// could run: script-bearing elements, event-handler attributes, script and data URLs, active
// styles, comments and declarations. The user's own layout page never passes through here.
#pragma once

#include <string>
#include <string_view>

namespace orvik {

// True when `text` could hold markup at all (has a '<'); the fast path for the millions of plain
// cells.
bool MayHoldMarkup(std::string_view text);

// `text` with active content removed and everything else kept byte for byte.
std::string SanitizeMarkup(std::string_view text);

// Appends the sanitized text to `out` (no temporary for the common case of clean text).
void AppendSanitizedMarkup(std::string& out, std::string_view text);

}  // namespace orvik
