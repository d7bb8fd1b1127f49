// The HTML export: the open report as one page, the parameter panels and sheet tables stacked in
// a plain page or poured into the user's layout page, with the sheets' style classes, written as
// "Orvik.htm" in the HTML work folder. The page text stays in the report for the mail step and
// the report view.
#pragma once

#include <string>
#include <string_view>

class CReport;
class COvInfoAct;
namespace orvik {
class Run;
}

// Turns the run's report into the page "Orvik.htm" in the HTML work folder (for "HTML" and
// "HTMFile" steps; other types only gather the parameter panels and plug-in parts). Returns 0
// when the report has no sheets or a plug-in refused a sheet, else 1.
int DoExport(orvik::Run& run, COvInfoAct& step);

// Writes `text` to `path`, creating or truncating the file, as EncodePage says. A file that cannot
// be written is reported ("Error write file <path> !") and counts as an error of the run. A file
// written is noted in the open report's WrittenFiles.
void UxWriteFile(orvik::Run& run, const std::string& path, const std::string& text);

// The bytes a page is written as. A page that declares windows-1251 stays in it, characters it
// cannot hold written as numeric character references; one that declares nothing is written in
// windows-1251 when every character fits and in UTF-8 otherwise, and one that declares any other
// set in UTF-8, with the declaration made to match (a META is added when the page has none).
// Either way the bytes are valid text (see orvik::AppendPageText). `forceUtf8` writes UTF-8 even
// when windows-1251 would do.
std::string EncodePage(const std::string& text, bool forceUtf8 = false);

// The page with every charset its META elements declare set to `charset`, or with a META that
// declares it when the page has none.
std::string WithDeclaredCharset(const std::string& text, const std::string& charset);

// Where the export writes the page: the HTML work folder followed by "Orvik.htm".
std::string PageFilePath(orvik::Run& run);
