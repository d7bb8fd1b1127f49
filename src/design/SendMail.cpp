#include "design/SendMail.h"

#include <exception>
#include <string>

#include "core/FrontEnd.h"
#include "core/ProgramContext.h"
#include "model/AppContext.h"
#include "model/OvInfoAct.h"
#include "model/Registries.h"
#include "model/Report.h"

namespace orvik::design {

bool OnFileSendMail([[maybe_unused]] CReport& report) {
    AppContext* context = AppContext::Current();
    if (!context) return false;
    COvInfoAct task(GroupId::Task);
    task.AType.Value = "HTML";
    if (task.DoExport() == 0) return false;
    // A mail step with every property at its default: server and addresses come from the
    // program settings.
    task.AType.Value = "SMTP";
    context->Registries().PrepareNewCombo(task.AType, task.Props, true);
    try {
        task.SendExport();
    } catch (const std::exception& error) {
        ShowMessage(std::string("The page was not sent: ") + error.what(), {},
                    MessageBoxButtons::Ok, MessageBoxIcon::Error);
        return false;
    }
    return true;
}

}  // namespace orvik::design
