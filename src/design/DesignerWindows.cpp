#include "design/DesignerWindows.h"

#include "core/Run.h"

namespace orvik::design {

DesignerWindows& WindowsOf(Run& run) {
    if (auto* windows = dynamic_cast<DesignerWindows*>(&run.Front())) return *windows;
    static DesignerWindows none;
    return none;
}

}  // namespace orvik::design
