// The step types the task runner hands to other parts of the program: the page export, mail and
// FTP delivery, and task types registered by plug-ins. Each part installs its handler when it
// is built in; a step whose handler is missing is reported as not available.
#pragma once

#include <functional>
#include <string>

class COvInfoAct;

namespace orvik {

struct TaskHandlers {
    std::function<void(COvInfoAct& step)> DoExport;
    std::function<void(COvInfoAct& step)> SendExport;
    std::function<void(int plugInIndex, const std::string& type, COvInfoAct& step)> PlugInTask;
};

}  // namespace orvik
