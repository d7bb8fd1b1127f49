// "GRP": a group marker among the steps. It does nothing but say where it stands.
#include <string>

#include "core/Run.h"
#include "model/Registries.h"
#include "model/TaskStep.h"

namespace orvik {
namespace {

class GroupStep : public TaskStep {
  public:
    void Run(orvik::Run& run, COvInfoAct&, size_t position) override {
        ShowMessage(run, "GRP " + std::to_string(position) + " ???");
    }
};

const TaskStepRegistration<GroupStep> kGroup("GRP");

}  // namespace
}  // namespace orvik
