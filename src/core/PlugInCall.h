// Which plug-in the calling thread is running, for the lines it logs and for the stop watch. Each
// call from the program into a plug-in is wrapped in a PlugInCall; code reached from inside (the
// exported functions a plug-in calls back) asks CurrentPlugInFile() whose behalf it acts on.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace orvik {

// Marks the calling thread as inside plug-in `fileName` doing `what` ("running a task step") for
// as long as it lives. Calls nest (a plug-in's callback into another's view); the innermost wins.
class PlugInCall {
  public:
    PlugInCall(std::string_view fileName, std::string_view what);
    ~PlugInCall();
    PlugInCall(const PlugInCall&) = delete;
    PlugInCall& operator=(const PlugInCall&) = delete;

  private:
    const PlugInCall* outer_;
    std::string fileName_;
    std::string what_;
    friend std::string_view CurrentPlugInFile();
    friend struct PlugInCallRegistry;
};

// The file name ("Xlsx.rll") of the plug-in the calling thread is inside, or "".
std::string_view CurrentPlugInFile();

// A plug-in call running on any thread: its file, what it was asked and since when.
struct RunningPlugInCall {
    std::string FileName;
    std::string What;
    std::chrono::steady_clock::time_point Since;
    // Changes with every call, so a watcher can tell a call that ended from the next one.
    unsigned long long Serial = 0;
};

// The outermost plug-in call running now on any thread (the oldest), if any.
std::optional<RunningPlugInCall> OldestPlugInCall();

}  // namespace orvik
