// Text put into HTML or XML: the one escaping the program's writers of markup share (request
// bodies for OLAP servers, the documentation page).
#pragma once

#include <string>
#include <string_view>

namespace orvik {

// `text` with "&", "<", ">" and the double quote escaped, so that it can stand in element
// content and in a double-quoted attribute; with `apostrophe`, "'" too (as "&apos;", for XML
// whose readers may quote attributes either way).
std::string EscapeMarkup(std::string_view text, bool apostrophe = false);

}  // namespace orvik
