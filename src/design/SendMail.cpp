#include "design/SendMail.h"

#include <exception>
#include <string>

#include "core/FrontEnd.h"
#include "core/Run.h"
#include "model/OvInfoAct.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "tasks/Delivery.h"
#include "tasks/HtmlExport.h"

namespace orvik::design {

bool OnFileSendMail(orvik::Run& run) {
    COvInfoAct task(&run.Registries(), GroupId::Task);
    task.AType.Value = "HTML";
    if (DoExport(run, task) == 0) return false;
    // A mail step with every property at its default: server and addresses come from the
    // program settings.
    task.AType.Value = "SMTP";
    run.Registries().PrepareNewCombo(task.AType, task.Props, true);
    try {
        SendExport(run, task);
    } catch (const std::exception& error) {
        ShowMessage(run, std::string("The page was not sent: ") + error.what(), {},
                    MessageBoxButtons::Ok, MessageBoxIcon::Error);
        return false;
    }
    return true;
}

}  // namespace orvik::design
