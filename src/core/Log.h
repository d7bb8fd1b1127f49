// The program's log ("Orvik18.log" in the program folder) and its error reporting. The log is the
// only record of an unattended run, so its line layout is fixed:
//   dd/mm/yy HH:MM:SS (line) : message
#pragma once

#include <exception>
#include <string>

#include "core/ComError.h"

namespace orvik {
class Run;
}

// Appends one line to the run's log. A message beginning with a line break gets an empty line
// before it. The source file is accepted and not written. Silently does nothing when the log
// cannot be opened (no program folder yet, read-only folder).
void UxSaveLog(orvik::Run& run, const std::string& message, const char* sourceFile, int sourceLine);
// Appends one line to the log file at `path` (the form above without a run: the crash report and
// the plug-in interface outside any run).
void AppendLogLine(const std::string& path, const std::string& message, int sourceLine);

// Reports a failure (a database error, a protocol error, anything with a message): in batch mode
// to the log ("UxError: " + message), otherwise in a message box. Never throws; an empty `text`
// counts as none.
void UxError(orvik::Run& run, const std::exception& error, const char* sourceFile, int sourceLine,
             const char* text = "");
void UxError(orvik::Run& run, const CComError& error, const char* sourceFile, int sourceLine,
             const char* text = "");

// The message UxError shows for each form (exposed for the log and for tests).
std::string UxErrorMessage(const std::exception& error, const char* sourceFile, int sourceLine,
                           const char* text);
std::string UxErrorMessage(const CComError& error, const char* sourceFile, int sourceLine,
                           const char* text);

// Formats one log line for a given moment (exposed for tests: the layout is what schedulers'
// log readers depend on).
std::string FormatLogLine(const std::string& message, int sourceLine, const struct tm& when);
