// "HTML" and "HTMFile": the report turned into its page. "HTML" keeps the page for the steps
// after it; "HTMFile" leaves it only in its file.
#include <string>

#include "core/Run.h"
#include "model/OvInfoAct.h"
#include "model/Registries.h"
#include "model/TaskStep.h"
#include "tasks/HtmlExport.h"

namespace orvik {
namespace {

class ExportStep : public TaskStep {
  public:
    void Run(orvik::Run& run, COvInfoAct& step, size_t position) override {
        ShowMessage(run, step.AType.Value + " " + std::to_string(position));
        DoExport(run, step);
    }
    bool NeedsData() const override { return true; }
    bool BuildsPage() const override { return true; }
};

const TaskStepRegistration<ExportStep> kHtml("HTML");
const TaskStepRegistration<ExportStep> kHtmlFile("HTMFile");

}  // namespace
}  // namespace orvik
