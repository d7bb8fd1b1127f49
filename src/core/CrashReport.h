// The last words of a run that dies of a fatal signal. A segfault or an abort (ours or a plug-in's)
// must not end the log at "Step Bad" with nothing on the terminal: the scheduler's operator needs
// to see which step took the program down. Everything the handler writes is formatted before the
// crash or with async-signal-safe arithmetic into fixed buffers, and written with write(2): after a
// crash the heap and the C library's locks may be in any state.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace orvik {

// Where the crash report goes: the log file (appended) and the parts of the one terminal line
// around the reason ("orvik: <report>: " and " (log: <path>)").
struct CrashReportTargets {
    std::string LogPath;
    std::string TerminalPrefix;
    std::string TerminalSuffix;
};

// Catches SIGSEGV, SIGBUS, SIGABRT, SIGFPE and SIGILL on an alternate stack (so a blown stack is
// reported too), writes the log line "terminated by signal N while running step S", the stop line
// and the terminal line, and ends the process with status 128+N. Call again to change the targets.
void InstallCrashHandlers(const CrashReportTargets& targets);

// Names the step now running, for the crash line; an empty name when no step runs. Texts longer
// than the handler's buffer are cut.
void SetCrashStep(std::string_view stepName);

// The crash line the handler writes for `signal` with `stepName` running (exposed for tests).
std::string CrashLine(int signal, std::string_view stepName);

// Formats a log line's "dd/mm/yy HH:MM:SS (line) : " prefix for the moment `seconds` with the
// offset `utcOffsetSeconds`, using arithmetic only (async-signal-safe). Writes at most `size`
// bytes into `out` and returns how many it wrote.
size_t FormatCrashLogPrefix(char* out, size_t size, std::time_t seconds, long utcOffsetSeconds,
                            int sourceLine);

}  // namespace orvik
