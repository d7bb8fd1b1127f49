#include "tasks/TaskRunner.h"

#include <sys/wait.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>
#include <system_error>

#include "core/CrashReport.h"
#include "core/Log.h"
#include "core/Run.h"
#include "core/SettingsStore.h"
#include "core/StopRequest.h"
#include "core/TextEncoding.h"
#include "model/OvCombos.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "model/TaskStep.h"
#include "params/ParamSubstitution.h"
#include "tasks/Redirector.h"

namespace {

// Names the running step for a crash report while it lives, and restores the outer step's name
// (a group's) after it.
class CrashStepScope {
  public:
    explicit CrashStepScope(const std::string& name) : outer_(current_) {
        current_ = name;
        orvik::SetCrashStep(current_);
    }
    ~CrashStepScope() {
        current_ = outer_;
        orvik::SetCrashStep(current_);
    }
    CrashStepScope(const CrashStepScope&) = delete;
    CrashStepScope& operator=(const CrashStepScope&) = delete;

  private:
    static thread_local std::string current_;
    std::string outer_;
};
thread_local std::string CrashStepScope::current_;

// A command step that has not ended after this long is stopped; 0 means no limit. A run
// started by a scheduler must end even when a command waits for something that never comes.
constexpr const char* kCommandTimeoutSetting = "CmdTimeout";
// Used when the setting holds no number; the value BuildSchema registers.
constexpr int kDefaultCommandTimeout = 3600;
// How long a stopped command's process group gets to end on SIGTERM before SIGKILL.
constexpr std::chrono::seconds kStopGrace{2};
// How long output is still waited for after the command has ended: it stays open only in
// something the command left running in the background, which may hold it for ever.
constexpr std::chrono::seconds kOutputGrace{1};
// What "no limit" waits for: long enough, and far from overflowing the clock.
constexpr std::chrono::milliseconds kNoLimit = std::chrono::hours(24 * 365 * 50);

std::chrono::seconds CommandTimeout(orvik::Run& run) {
    return std::chrono::seconds(orvik::SecondsFromText(
        run.Registries().SettingValue(kCommandTimeoutSetting), kDefaultCommandTimeout));
}

}  // namespace

int DoAct(orvik::Run& run, const char* name, const StepHooks& hooks) {
    orvik::WaitCursor busy(run);
    CReport& report = run.Report();
    const std::string wanted = name ? name : "";
    int ran = 0;
    // Steps may run commands that change nothing here, but a plug-in could add tasks: walk by
    // position, not by iterator.
    for (size_t i = 0; i < report.Tasks.size(); ++i) {
        const COvInfoAct& task = *report.Tasks[i];
        if (task.Parent) continue;
        if (orvik::StopRequested()) break;
        if (wanted.empty() || task.Name.Value == wanted) {
            RunAllSteps(run, task, hooks);
            ++ran;
        }
    }
    return ran;
}

int DoAct(orvik::Run& run, const char* name) {
    return DoAct(run, name, StepHooks{});
}

int DoActs(orvik::Run& run) {
    return DoAct(run, nullptr);
}

void RunAllSteps(orvik::Run& run, const COvInfoAct& task, const StepHooks& hooks) {
    orvik::WaitCursor busy(run);
    CReport& report = run.Report();
    const orvik::TaskStepRegistry& steps = run.Registries().Types.Steps;
    for (size_t i = 0; i < report.Tasks.size(); ++i) {
        COvInfoAct& step = *report.Tasks[i];
        if (step.Parent != &task) continue;
        // A run asked to stop starts no further step.
        if (orvik::StopRequested()) return;
        const std::string& type = step.AType.Value;
        UxSaveLog(run, "Step " + step.Name.Value + " Type=" + type + " ", __FILE__, __LINE__);
        const CrashStepScope crashStep(step.Name.Value);

        orvik::TaskStep* kind = steps.Find(type);
        if (!kind) {
            // A stored type nobody here knows must not pass for a step done; a step given no type
            // at all does nothing, as it always has.
            const std::string stored = type.empty() ? step.UnknownType("AType") : type;
            if (!stored.empty()) {
                UxSaveLog(run,
                          "Step " + step.Name.Value + " has the type '" + stored +
                              "', which neither this program nor a plug-in knows: it was not run",
                          __FILE__, __LINE__);
                run.NoteError();
            }
            continue;
        }
        if (hooks.BeforeStep &&
            !hooks.BeforeStep(step, StepNeeds{kind->NeedsData(), kind->NeedsPage(),
                                              kind->BuildsPage(), kind->Delivers()}))
            continue;
        kind->Run(run, step, i);
    }
}

void RunAllSteps(orvik::Run& run, const COvInfoAct& task) {
    RunAllSteps(run, task, StepHooks{});
}

void RunCommandStep(orvik::Run& run, const COvInfoAct& step) {
    std::string command;
    try {
        command = DSetParam(run, PropValue("cmd", step.Props), orvik::SubstitutionTarget::Shell);
    } catch (const orvik::SubstitutionError& error) {
        UxSaveLog(run, std::string("CMD was not started: ") + error.what(), __FILE__, __LINE__);
        run.NoteError();
        return;
    }
    UxRedirector redirector;
    if (!redirector.Open(command)) {
        UxSaveLog(run, "CMD could not be started: " + command, __FILE__, __LINE__);
        run.NoteError();
        return;
    }
    const std::chrono::seconds timeout = CommandTimeout(run);
    // Without a limit the wait still ends when the run is asked to stop.
    const std::optional<int> status = redirector.WaitForChild(
        timeout.count() > 0 ? std::chrono::milliseconds(timeout) : kNoLimit);
    if (!status) redirector.StopProcessGroup(kStopGrace);
    redirector.WaitForOutputEnd(kOutputGrace);
    redirector.Close();
    std::string output = redirector.Output();
    std::erase_if(output, [](char c) { return c == '\r' || c == '\n'; });
    UxSaveLog(run, "CMD Output: <" + output + ">", __FILE__, __LINE__);

    if (!status && orvik::StopRequested()) {
        UxSaveLog(run, "CMD was stopped: " + orvik::StopReason(), __FILE__, __LINE__);
        run.NoteError();
        return;
    }
    if (!status) {
        UxSaveLog(run,
                  "CMD was stopped after " + std::to_string(timeout.count()) + " s (time-out " +
                      kCommandTimeoutSetting + ")",
                  __FILE__, __LINE__);
        run.NoteError();
        return;
    }
    if (WIFEXITED(*status) && WEXITSTATUS(*status) == 0) return;
    if (WIFSIGNALED(*status)) {
        UxSaveLog(run, "CMD was killed by signal " + std::to_string(WTERMSIG(*status)), __FILE__,
                  __LINE__);
    } else {
        UxSaveLog(run, "CMD failed with exit status " + std::to_string(WEXITSTATUS(*status)),
                  __FILE__, __LINE__);
    }
    run.NoteError();
}
