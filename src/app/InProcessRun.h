// A report's task run inside a process that serves many runs (the servers, the concurrency test):
// what `orvik Report.ovk /act:Task` does, as one Run of a Program shared with other runs. The run
// has a work folder of its own under the program's (see app/WorkFolders.h) and logs to a file in
// it, so runs at the same time neither share pages nor interleave their logs.
#pragma once

#include <memory>
#include <string>

namespace orvik {

class Program;
class RunStopFlag;

struct InProcessRunRequest {
    std::string ReportPath;  // the .ovk file
    std::string TaskName;    // "" runs every top-level task
    std::string Parameters;  // as /prm takes them: "Region=North;Day=~date(d-1)~"
    std::string Name;        // names the run's work folder; unique among the runs at one time
    // Kept by the caller to stop this run alone; null = only a signal stops it.
    std::shared_ptr<RunStopFlag> Stop = nullptr;
};

struct InProcessRunOutcome {
    bool Succeeded = false;  // read, every parameter taken, the task found and no error
    int ErrorCount = 0;
    std::string FirstError;
    std::string WorkFolder;  // with trailing "/"
    std::string LogPath;
};

// Runs the request unattended. Never throws: what goes wrong is in the outcome and the run's log.
InProcessRunOutcome RunReportInProcess(Program& program, const InProcessRunRequest& request);

}  // namespace orvik
