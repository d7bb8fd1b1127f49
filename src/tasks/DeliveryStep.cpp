// "SMTP" and "FTP": the page (or the step's own content and files) mailed or uploaded.
#include "core/Run.h"
#include "model/OvInfoAct.h"
#include "model/Registries.h"
#include "model/TaskStep.h"
#include "tasks/Delivery.h"

namespace orvik {
namespace {

class DeliveryStep : public TaskStep {
  public:
    void Run(orvik::Run& run, COvInfoAct& step, size_t) override { SendExport(run, step); }
    bool NeedsData() const override { return true; }
    bool NeedsPage() const override { return true; }
    bool Delivers() const override { return true; }
};

const TaskStepRegistration<DeliveryStep> kMail("SMTP");
const TaskStepRegistration<DeliveryStep> kUpload("FTP");

}  // namespace
}  // namespace orvik
