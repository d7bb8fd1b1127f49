#include "tasks/TaskRunner.h"

#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "core/Log.h"
#include "model/AppContext.h"
#include "model/OvCombos.h"
#include "model/Report.h"
#include "model/TaskStep.h"
#include "params/ParamSubstitution.h"
#include "tasks/Redirector.h"

namespace {

// Keeps the busy cursor up while tasks run.
class WaitCursor {
  public:
    WaitCursor() { Set(true); }
    ~WaitCursor() { Set(false); }

  private:
    static void Set(bool busy) {
        if (orvik::AppContext* context = orvik::AppContext::Current()) {
            context->Front().SetWaitCursor(busy);
        }
    }
};

void Unavailable(const char* what, const COvInfoAct& step) {
    UxSaveLog(std::string(what) + " is not available in this build; step " + step.Name.Value +
                  " was not run",
              __FILE__, __LINE__);
    if (orvik::AppContext* context = orvik::AppContext::Current()) context->NoteError();
}

}  // namespace

int DoAct(CReport& report, const char* name, const StepHooks& hooks) {
    WaitCursor busy;
    const std::string wanted = name ? name : "";
    int ran = 0;
    // Steps may run commands that change nothing here, but a plug-in could add tasks: walk by
    // position, not by iterator.
    for (size_t i = 0; i < report.Tasks.size(); ++i) {
        const COvInfoAct& task = *report.Tasks[i];
        if (task.Parent) continue;
        if (wanted.empty() || task.Name.Value == wanted) {
            RunAllSteps(report, task, hooks);
            ++ran;
        }
    }
    return ran;
}

int DoAct(CReport& report, const char* name) {
    return DoAct(report, name, StepHooks{});
}

int DoActs(CReport& report) {
    return DoAct(report, nullptr);
}

void RunAllSteps(CReport& report, const COvInfoAct& task, const StepHooks& hooks) {
    WaitCursor busy;
    orvik::AppContext* context = orvik::AppContext::Current();
    if (!context) return;
    const orvik::TaskHandlers& actions = context->Tasks();
    for (size_t i = 0; i < report.Tasks.size(); ++i) {
        COvInfoAct& step = *report.Tasks[i];
        if (step.Parent != &task) continue;
        const std::string& type = step.AType.Value;
        UxSaveLog("Step " + step.Name.Value + " Type=" + type + " ", __FILE__, __LINE__);

        const COvCombos* entry = step.AType.SelectedEntry();
        if (entry && !type.empty() && entry->PlugInIndex >= 0) {
            // A plug-in's step may read anything: the sources and the page are made ready.
            if (hooks.BeforeStep) hooks.BeforeStep(step, StepNeeds{true, true, false});
            if (actions.PlugInTask) {
                actions.PlugInTask(entry->PlugInIndex, type, &step);
            } else {
                Unavailable("The plug-in task type", step);
            }
            continue;
        }
        orvik::TaskStep* kind = orvik::TaskStepRegistry::Builtin().Find(type);
        if (!kind) continue;
        if (hooks.BeforeStep)
            hooks.BeforeStep(step,
                             StepNeeds{kind->NeedsData(), kind->NeedsPage(), kind->BuildsPage()});
        kind->Run(report, step, i);
    }
}

void RunAllSteps(CReport& report, const COvInfoAct& task) {
    RunAllSteps(report, task, StepHooks{});
}

void RunCommandStep(const COvInfoAct& step) {
    const std::string command = DSetParam(GetPropS("cmd", &step.Props).c_str());
    orvik::AppContext* context = orvik::AppContext::Current();
    UxRedirector redirector;
    if (!redirector.Open(command)) {
        UxSaveLog("CMD could not be started: " + command, __FILE__, __LINE__);
        if (context) context->NoteError();
        return;
    }
    const int status = redirector.WaitForChild();
    // The reader may need a moment after the child ends to take the last output; give it up to
    // 20 s, looking often so that a quick command costs no more than it takes.
    for (int check = 0; check < 1000 && !redirector.HasEnded(); ++check) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::string output = redirector.Output();
    std::erase_if(output, [](char c) { return c == '\r' || c == '\n'; });
    UxSaveLog("CMD Output: <" + output + ">", __FILE__, __LINE__);

    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
    if (WIFSIGNALED(status)) {
        UxSaveLog("CMD was killed by signal " + std::to_string(WTERMSIG(status)), __FILE__,
                  __LINE__);
    } else {
        UxSaveLog("CMD failed with exit status " + std::to_string(WEXITSTATUS(status)), __FILE__,
                  __LINE__);
    }
    if (context) context->NoteError();
}
