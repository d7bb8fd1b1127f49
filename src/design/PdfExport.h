// File > Export PDF and File > Print Preview: the designer's page printed by the PDF plug-in's
// step type, exactly as a report's own PDF step prints it (paper, repeated sheet heads, offline
// renderer), so what the designer previews is what a scheduled run mails.
#pragma once

#include <string>

namespace orvik {
class Run;
}

namespace orvik::design {

// Builds the page and prints it to a PDF in the run's work folder; its path, or "" when it
// could not be made (`failure` receives why: the plug-in missing, the renderer's own report).
std::string PrintPageToPdf(Run& run, std::string& failure);

// Prints the page and writes the PDF to `target`, replacing it only once it is whole. "" when
// done, else why not.
std::string ExportPagePdf(Run& run, const std::string& target);

}  // namespace orvik::design
