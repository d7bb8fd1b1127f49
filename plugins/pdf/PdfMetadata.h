// The document information a PDF carries (title, subject, creator), set after the renderer has
// written the file: the renderer takes the title from the page and knows no subject. The change
// is appended as an incremental update, as PDF editors do, so the renderer's bytes stay as they
// are and every reader sees the new values.
#pragma once

#include <string>

namespace pdf {

// Appends to `pdf` an update whose information dictionary holds `title` and `subject` (UTF-8,
// any text). False, with `pdf` unchanged, when the file's trailer cannot be read.
bool SetDocumentInfo(std::string& pdf, const std::string& title, const std::string& subject);

}  // namespace pdf
