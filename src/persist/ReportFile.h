// The report file (.ovk): one XML document whose root holds the data sources (DS), tasks (ACT),
// the report object and the sheets (SHEET, with their grid column settings under GCols) and the
// parameters (PRM), each as the list of its stored, non-empty properties. Files made on Windows
// are windows-1251; a report is written in windows-1251 whenever every character fits and in UTF-8
// (declared as such) otherwise, so nothing is ever lost.
#pragma once

namespace orvik {
class Run;
}

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CReport;
class CXmlElement;
class COvInfoProp;

// The declaration line of a report written in windows-1251, and of one written in UTF-8.
inline constexpr std::string_view kReportHeaderCp1251 =
    "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"yes\"?>";
inline constexpr std::string_view kReportHeaderUtf8 =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";

// Loads (save = 0) or saves (save != 0) `report`. An empty path means the report's own path; a
// bare file name lies in the program folder. Loading adds to the (empty) report what the file
// holds and reports what it had to drop; it returns 0 only when the file cannot be opened. Saving
// replaces the file atomically and returns 0 (with the error reported and the report still marked
// modified) when it cannot be written. A load only reads: it connects to nothing and builds no
// page (app/ReportSession.h runs a loaded report).
int SerializeXML(orvik::Run& run, std::string_view path, int save);

// SerializeXML(report, path, 1).
int SaveDocument(orvik::Run& run, std::string_view path = {});

// Saves like SaveDocument but shows nothing: the text of the error (the report still marked
// modified), or "" once written.
std::string WriteReportFile(orvik::Run& run, std::string_view path = {});

// Why loading the report file at `path` (a bare name lies in the program folder; an empty path
// names no file) would stop before reading any of it: the error text a load would show, or "" when
// it would read. Only looks at the file; the open report is left alone.
std::string ReportFileProblem(orvik::Run& run, std::string_view path);

// Loads property `index` of `props` from `element`'s child of the same name (or, with
// `fromAttributes`, from its attribute of that name). Missing values take the default; a list
// value attaches its type's properties to `props`. Returns the property.
COvInfoProp* WraperProp(orvik::Run& run, CXmlElement* element, std::vector<COvInfoProp*>& props,
                        size_t index, bool fromAttributes);

// Where `path` is read from and written to: the report's own path when empty, the program
// folder for a bare file name, backslashes accepted.
std::string ResolveReportPath(orvik::Run& run, std::string_view path);

// The UTF-8 text of a report file's bytes, decoded by its declaration (windows-1251 when it
// declares nothing and is not valid UTF-8). Bytes that are not valid in the encoding declared
// give nullopt, with `problem` (when given) naming the first one's offset.
std::optional<std::string> DecodeReportText(std::string_view bytes, std::string* problem = nullptr);
