// "SMTP" and "FTP": the page (or the step's own content and files) mailed or uploaded.
#include "core/Run.h"
#include "model/OvInfoAct.h"
#include "model/Registries.h"
#include "model/TaskStep.h"
#include "tasks/Delivery.h"

namespace orvik {
namespace {

// What the two have in common: they deliver the page an earlier step built.
class DeliveryStep : public TaskStep {
  public:
    void Run(orvik::Run& run, COvInfoAct& step, size_t) override { SendExport(run, step); }
    bool NeedsData() const override { return true; }
    bool NeedsPage() const override { return true; }
    bool Delivers() const override { return true; }
};

class MailStep : public DeliveryStep {
  public:
    bool Deliver(orvik::Run& run, COvInfoAct& step) override {
        MailStepPage(run, step);
        return true;
    }
};

class UploadStep : public DeliveryStep {
  public:
    bool Deliver(orvik::Run& run, COvInfoAct& step) override {
        UploadStepPage(run, step);
        return true;
    }
};

const TaskStepRegistration<MailStep> kMail("SMTP");
const TaskStepRegistration<UploadStep> kUpload("FTP");

}  // namespace
}  // namespace orvik
