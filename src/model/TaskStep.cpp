#include "model/TaskStep.h"

namespace orvik {

TaskStepRegistry& TaskStepRegistry::Builtin() {
    static TaskStepRegistry registry;
    return registry;
}

}  // namespace orvik
