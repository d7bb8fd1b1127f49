// What the PDF plug-in's tests share: a program folder holding the plug-ins as built and the
// example's database, where the real program runs a report as a scheduler would (whole process,
// its own log), and the poppler tools that read back what it wrote.
#pragma once

#include <string>
#include <vector>

#include "TestSupport.h"

namespace orvik::test {

struct ShellResult {
    int Status = -1;
    std::string Output;  // standard output and standard error together
};

// Runs `command` through /bin/sh.
ShellResult RunShell(const std::string& command);
// `text` as one shell word.
std::string ShellWord(const std::string& text);

class PdfProgram {
  public:
    PdfProgram();

    const TempDir& Home() const { return home_; }
    // The folder the program and its plug-ins were built into.
    const std::string& BuiltFolder() const { return built_; }
    // Writes `report` and runs its task `task` unattended, with `environment` ("NAME=value ...")
    // added; the program's exit status and what it printed.
    ShellResult Run(const std::string& report, const std::string& task,
                    const std::string& environment = "");
    // The program's log so far.
    std::string Log() const;
    // A file the run wrote into the work folder.
    std::string WorkFile(const std::string& name) const { return home_.Path() + "HTML/" + name; }

  private:
    TempDir home_;
    std::string built_;
};

// The text of `pdf` (page `page`, or all when 0) as pdftotext reads it; with `layout`, each line
// holds what stands side by side on the page.
std::string PdfText(const std::string& pdf, int page = 0, bool layout = false);
// A field of pdfinfo's answer for `pdf` ("Pages", "Title", "Page size"), trimmed.
std::string PdfInfo(const std::string& pdf, const std::string& field);
// `report` with `steps` (ACT elements whose ActParent is written "@") added as the steps of a new
// task `task`, placed after the report's own tasks.
std::string WithTask(std::string report, const std::string& task, std::string steps);
// A step of task "@" for WithTask, with the property elements `more`.
std::string Step(const std::string& name, const std::string& type, const std::string& more = "");
// The texts of the cells of the sheet table `id` on a written page, in order.
std::vector<std::string> SheetCells(const std::string& page, const std::string& id);

// Whether the poppler tools the checks need are installed; "" when they are, else what is missing.
std::string MissingPdfTools();

}  // namespace orvik::test
