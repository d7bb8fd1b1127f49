// The documentation F1 opens. A help file of the old kind ("Orvik18.chm") is opened when the
// program folder has one; otherwise the documentation that ships with the program (the README and
// the report-format reference, Markdown files in the program folder's doc/) is written once as
// one HTML page in the work folder, which the desktop's browser shows.
#pragma once

#include <string>
#include <string_view>

namespace orvik {

// `markdown` as an HTML fragment: headings (with ids to link to), paragraphs, lists, fenced
// code, tables, quotes, and inline code, emphasis and links (a picture becomes a link to it). Every
// text is escaped: the result holds no markup the Markdown did not ask for.
std::string MarkdownToHtml(std::string_view markdown);

// The Markdown files of the shipped documentation under `programFolder` (doc/README.md, then
// doc/report-format.md), each as a section of one page written to `outputFolder`/help.html. Its
// path, or "" when no documentation was found or the page could not be written.
std::string WriteHelpPage(const std::string& programFolder, const std::string& outputFolder);

}  // namespace orvik
