#include "model/TaskStep.h"

namespace orvik {

TaskStepRegistry& TaskStepRegistry::Builtin() {
    static TaskStepRegistry registry;
    return registry;
}

void TaskStepRegistry::Register(std::string_view type, std::unique_ptr<TaskStep> step) {
    steps_.insert_or_assign(std::string(type), std::move(step));
}

TaskStep* TaskStepRegistry::Find(std::string_view type) const {
    const auto found = steps_.find(type);
    return found == steps_.end() ? nullptr : found->second.get();
}

}  // namespace orvik
