// A report at work: the one place where a loaded report is run. Reading a report file only reads
// it; the session applies the run's parameter values, runs each data source the sheets use once,
// fills the grids and builds the page, each at the moment the first step of a task needs it, so
// that a run does its work once and a report that is only converted (/saveas) never connects.
// The designer opens reports through the same session.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "params/ParameterAssignment.h"

class COvInfoAct;

class CReport;

namespace orvik {

class AppContext;

class ReportSession {
  public:
    explicit ReportSession(AppContext& context) : context_(context) {}

    // Reads the report file at `path` into the context's report; connects to nothing. True when
    // the report was read.
    bool Read(const std::string& path);
    // Sets the parameter values of this run ("Region=North;Day=~date(d-1)~", the command line's
    // /prm). A name the report has no parameter for is reported as an error; false then.
    bool ApplyParameters(std::string_view parameterText);
    bool ApplyParameters(const std::vector<ParameterAssignment>& assignments);

    // Runs each data source the sheets use (once each), makes every sheet's grid and reads the
    // lists parameters take from data. Does nothing the second time.
    void PrepareSheets();
    // Builds the page from the prepared sheets, unless a step of this session already built it.
    void BuildPage();
    // Runs the top-level tasks named `name` (all when empty); the sheets and the page are made
    // ready before the first step that needs them. Returns how many tasks ran.
    int RunTask(const std::string& name);
    // The same for an unattended run: what ends it early (a delivery error, memory running out)
    // is logged and counted, and the run goes on to its closing lines.
    void RunTaskToTheEnd(const std::string& name);
    // Opens the report the way the designer shows it: sheets prepared, page built and shown.
    void Show();

  private:
    // False (logged) for a step that sends or publishes in an unattended run in which a data
    // source failed, unless its task's SendAfterFailure is "1": a scheduled run never mails an
    // empty or wrong page. Exports and commands still run (a command may report the failure).
    bool MayDeliver(const COvInfoAct& step) const;

    AppContext& context_;
    bool sheetsPrepared_ = false;
    bool pageBuilt_ = false;
    std::vector<std::string> failedSources_;  // names of the sources that failed to run
};

// Whether parameter `name` of `report` holds a secret: its name says so, or a data source puts it
// into the password of its connection string ("Pwd=`DbKey"). Its value is then never logged or
// shown.
bool IsSecretParameter(const CReport& report, const std::string& name);

}  // namespace orvik
