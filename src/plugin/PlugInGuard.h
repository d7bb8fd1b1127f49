// How the program calls into a plug-in: found by its index, and guarded so that what it throws
// is logged (and, in a run's work, fails the run) instead of taking the program down.
#pragma once

#include <string>

#include "core/Log.h"
#include "core/PlugInCall.h"
#include "core/Run.h"
#include "model/Registries.h"
#include "orvik/RepPlugIn.h"
#include "plugin/PlugInRunScope.h"

namespace orvik {

// The loaded plug-in at `index` of `registries`, or null.
inline CRepPlugIn* PlugInAt(const CRegistries& registries, int index) {
    if (index < 0 || index >= static_cast<int>(registries.PlugIns.size())) return nullptr;
    return registries.PlugIns[static_cast<size_t>(index)];
}

// How a plug-in's exception counts: in the work a run does (opening a source, exporting, a step,
// a delivery) it fails the run as any failed step would; in the designer's notifications and at
// start-up it is only logged.
enum class Failure { FailsRun, Logged };

// A plug-in that throws must not take the run down with it; what it said goes to the log. The
// call is marked as the plug-in's for the lines it logs and for the stop watch, and `run` is the
// run the plug-in's calls back into the program work on.
template <typename Call>
auto Guarded(CRepPlugIn& plugIn, const char* what, Run& run, Failure failure, Call&& call,
             decltype(call()) fallback) {
    const PlugInCall marked(plugIn.m_FileName, what);
    const PlugInRunScope calling(run);
    std::string reason;
    try {
        return call();
    } catch (const std::exception& error) {
        reason = "Plug-in " + plugIn.m_FileName + " failed in " + what + ": " + error.what();
    } catch (...) {
        reason = "Plug-in " + plugIn.m_FileName + " failed in " + what;
    }
    UxSaveLog(run, reason, __FILE__, __LINE__);
    if (failure == Failure::FailsRun) run.NoteError(reason);
    return fallback;
}

}  // namespace orvik
