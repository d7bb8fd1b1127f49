// The step types the task runner hands to other parts of the program: mail and FTP delivery, and
// the task types, sheet renderers and views of plug-ins. Each part installs its handler when it
// is built in; a step whose handler is missing is reported as not available.
#pragma once

#include <functional>
#include <string>

class COvInfoAct;
class COvInfoSheet;
class CSheetView;

namespace orvik {

class Run;

struct TaskHandlers {
    // A plug-in's delivery of a step whose type it registered.
    std::function<void(Run& run, int plugInIndex, COvInfoAct& step)> PlugInDelivery;
    // A plug-in's task type; `step` is null when an export asks the plug-in about its own type.
    std::function<void(Run& run, int plugInIndex, const std::string& type, COvInfoAct* step)>
        PlugInTask;
    // A plug-in's rendering of a sheet into `out`: 0 refuses (the export stops), 1 done, other
    // values leave the sheet to the built-in rendering.
    std::function<int(Run& run, int plugInIndex, COvInfoSheet& sheet, COvInfoAct& task,
                      std::string& out)>
        PlugInRender;
    // A plug-in's view of a sheet of its view type; the sheet owns what comes back (may be null).
    std::function<CSheetView*(Run& run, int plugInIndex, COvInfoSheet& sheet)> PlugInCreateView;
};

}  // namespace orvik
