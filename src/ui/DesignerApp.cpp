#include "ui/DesignerApp.h"

#include <wx/wx.h>

#include <cstdio>
#include <cstdlib>

namespace orvik::ui {

int RunDesigner(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::fputs("orvik: no display to open the designer on.\n"
                   "Run a task unattended with: orvik REPORT.ovk /act:TASK   (see orvik --help)\n",
                   stderr);
        return 2;
    }
    return wxEntry(argc, argv);
}

}  // namespace orvik::ui
