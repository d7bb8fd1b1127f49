#include "plugin/PlugInStopWatch.h"

#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <thread>

#include "core/PlugInCall.h"
#include "core/StopRequest.h"

namespace orvik {
namespace {

// How often the watch looks: a stop is noticed within this, well inside any grace.
constexpr std::chrono::milliseconds kLookInterval{100};

struct WatchState {
    std::mutex Guard;
    std::chrono::milliseconds Grace{10'000};
    PlugInStopWatchActions Actions;
    bool Started = false;
};

// Never destroyed: the watch thread may still look at it while the program's statics go away.
WatchState& State() {
    static auto* state = new WatchState;
    return *state;
}

void Watch() {
    WatchState& state = State();
    std::chrono::steady_clock::time_point stopSeen{};
    for (;;) {
        std::this_thread::sleep_for(kLookInterval);
        const int signal = StopSignal();
        if (signal == 0) {
            stopSeen = {};
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (stopSeen == std::chrono::steady_clock::time_point{}) stopSeen = now;
        const std::optional<RunningPlugInCall> call = OldestPlugInCall();
        if (!call) continue;
        std::chrono::milliseconds grace;
        PlugInStopWatchActions actions;
        {
            const std::lock_guard lock(state.Guard);
            grace = state.Grace;
            actions = state.Actions;
        }
        // The grace counts from the stop request, or from the call's start when a call began
        // after it (a source opened for a step already under way).
        const auto from = std::max(stopSeen, call->Since);
        if (now - from < grace) continue;
        const std::string reason = AbandonedPlugInLine(call->FileName, call->What, grace, signal);
        if (actions.Log) {
            actions.Log(reason);
            actions.Log("*** Stop Orvik ***\n\n");
        }
        if (actions.TellTerminal) actions.TellTerminal(reason);
        // The main thread is still inside the plug-in: nothing may run destructors under it.
        ::_exit(128 + signal);
    }
}

}  // namespace

std::string AbandonedPlugInLine(const std::string& fileName, const std::string& what,
                                std::chrono::milliseconds grace, int signal) {
    const auto seconds = std::chrono::duration<double>(grace).count();
    std::string shown = std::to_string(seconds);
    shown.erase(shown.find_last_not_of('0') + 1);
    if (!shown.empty() && shown.back() == '.') shown.pop_back();
    return "Plug-in " + fileName + " did not return from " + what + " within " + shown +
           " s of the stop request (setting PlugInStopGrace): the run was terminated by signal " +
           std::to_string(signal) + " without it";
}

void StartPlugInStopWatch(std::chrono::milliseconds grace, PlugInStopWatchActions actions) {
    WatchState& state = State();
    const std::lock_guard lock(state.Guard);
    state.Grace = grace;
    state.Actions = std::move(actions);
    if (state.Started) return;
    state.Started = true;
    std::thread(Watch).detach();
}

}  // namespace orvik
