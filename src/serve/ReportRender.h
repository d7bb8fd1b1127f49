// A report rendered for a web request, inside the server's process: the same page an unattended
// run writes (Orvik.htm and its pictures), the workbook, one CSV file per grid sheet and, when
// asked, the PDF, all in a work folder of the run's own. Also what the parameter form needs to
// know about a report. Parameter values go in as assignments, never as /prm text, so a ";" or
// "=" in a value stays in that value; they are checked by the code that checks /prm.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "params/ParameterAssignment.h"

namespace orvik {
class Program;
class RunStopFlag;
}  // namespace orvik

namespace orvik::serve {

// One parameter as the form shows it.
struct FormParameter {
    std::string name;
    std::string title;  // "" = the name
    std::string type;   // "date", "pcmb", "pcmbm", "DScmb", anything else is free text
    std::string value;  // the report's own value, a date expression left as written
    std::vector<std::string> options;  // what a list parameter offers
    bool multiple = false;             // several entries at once ("pcmbm", "DScmb")
    bool secret = false;               // its value is a password: never shown or logged
    bool visible = true;
    std::string problem;  // why its list could not be read
};

struct ReportDescription {
    bool read = false;
    std::string problem;  // why it could not be read
    std::string title;
    std::vector<FormParameter> parameters;
    std::vector<std::string> tasks;  // top-level task names
    bool pdfAvailable = false;       // the PDF plug-in is loaded
};

// Reads the report at `path` in a run of its own (work folder `workName`) and reads the lists of
// its list parameters, a data source's values too.
ReportDescription DescribeReport(Program& program, const std::string& path,
                                 const std::string& workName);

struct RenderRequest {
    std::string reportPath;
    std::vector<ParameterAssignment> values;
    std::string workName;  // names the run's work folder (see app/WorkFolders.h)
    bool withPdf = false;  // also print the page to Orvik.pdf (needs the PDF plug-in)
    std::string task;      // "" renders the page; else runs this top-level task instead
    std::shared_ptr<RunStopFlag> stop;
};

struct RenderOutcome {
    bool succeeded = false;
    std::vector<std::string> refused;  // values refused as /prm refuses them: the request's fault
    std::string firstError;
    int errorCount = 0;
    std::string workFolder;  // with trailing "/"
    std::string page;        // the page file ("" when none was written)
    std::string workbook;    // Orvik.xlsx when written
    std::string pdf;
    std::vector<std::string> csvFiles;  // one per grid sheet, in sheet order
    std::vector<std::string> csvNames;  // the sheets' names
    long long rows = 0;                 // data rows in the grids
};

// Renders (or runs the task of) `request`. Never throws.
RenderOutcome RenderReport(Program& program, const RenderRequest& request);

// Whether the value of parameter `name` of the report at `path` is a secret (its name says so,
// or a data source's connection string takes it as a password).
bool IsSecretParameterOf(const std::vector<FormParameter>& parameters, const std::string& name);

}  // namespace orvik::serve
