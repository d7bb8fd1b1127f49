// "CMD": a command line run through the shell, its output logged.
#include "core/Run.h"
#include "model/Registries.h"
#include "model/TaskStep.h"
#include "tasks/TaskRunner.h"

namespace orvik {
namespace {

class CommandStep : public TaskStep {
  public:
    void Run(orvik::Run& run, COvInfoAct& step, size_t) override { RunCommandStep(run, step); }
    // A command may copy or convert the page, so the page is there before the first one runs.
    bool NeedsData() const override { return true; }
    bool NeedsPage() const override { return true; }
};

const TaskStepRegistration<CommandStep> kCommand("CMD");

}  // namespace
}  // namespace orvik
