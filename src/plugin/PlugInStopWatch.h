// A plug-in call cannot be interrupted from outside: a step stuck in a plug-in (a network wait
// without a time-out, a loop) would keep a stopped run alive for ever. The stop watch gives such a
// call a grace period after SIGTERM or SIGINT, then ends the run without it, in order: the log
// says which plug-in did not return, the stop line follows, the terminal gets its one line, and
// the exit status is the signal's (143, 130).
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace orvik {

// How the stop watch tells the terminal why it gave up on a plug-in call (after logging it and
// the stop line, before it ends the process with 128 + the signal).
struct PlugInStopWatchActions {
    std::function<void(const std::string& reason)> TellTerminal;
    // Writes a line to the log of the run the watch serves; called on the watch's own thread.
    std::function<void(const std::string& line)> Log;
};

// Starts the watch on a thread of its own (once per process; later calls change the grace only).
void StartPlugInStopWatch(std::chrono::milliseconds grace, PlugInStopWatchActions actions);

// The log line for a plug-in call abandoned after `grace` (exposed for tests).
std::string AbandonedPlugInLine(const std::string& fileName, const std::string& what,
                                std::chrono::milliseconds grace, int signal);

}  // namespace orvik
