#include "app/InProcessRun.h"

#include "app/ReportSession.h"
#include "app/WorkFolders.h"
#include "core/FolderLock.h"
#include "core/LanguageTexts.h"
#include "core/Log.h"
#include "core/LogText.h"
#include "model/AppContext.h"
#include "model/PropertyTranslation.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "persist/ReportLifecycle.h"

namespace orvik {
namespace {

bool RunTask(AppContext& context, ReportSession& session, const std::string& taskName) {
    if (context.Report().FindTopLevelTasks(taskName).empty()) {
        const std::string reason = "The report has no task named '" + taskName + "'";
        UxSaveLog(context, reason, __FILE__, __LINE__);
        context.NoteError(reason);
        return false;
    }
    session.RunTaskToTheEnd(taskName);
    return true;
}

}  // namespace

InProcessRunOutcome RunReportInProcess(Program& program, const InProcessRunRequest& request) {
    InProcessRunOutcome outcome;
    outcome.WorkFolder = RunWorkFolder(program.StateFolder(), request.Name);
    outcome.LogPath = outcome.WorkFolder + "Orvik18.log";
    std::string problem;
    // Two runs of one name would empty each other's pages: the second is refused.
    const auto lock = FolderLock::AcquireOwn(outcome.WorkFolder, problem);
    if (!lock) {
        outcome.ErrorCount = 1;
        outcome.FirstError = "the run did not start: " + problem;
        return outcome;
    }
    AppContext context(program, nullptr);
    if (request.Stop) context.SetStopFlag(request.Stop);
    // Everything this thread does from here on is the run's: its stop request reaches it.
    const RunStopScope stopScope(context.StopFlag());
    context.BatchMode = true;
    context.SetLogPath(outcome.LogPath);
    context.Registries().HtmlFolder = outcome.WorkFolder;
    // The schema and a new report empty the work folder, where the log goes too: the log
    // begins after them.
    BuildSchema(context.Registries(), program.Settings());
    TranslateProperties(context.Language(), context.Registries(), -1);
    bool succeeded = InitOVK(context);
    UxSaveLog(context, "*** Start Orvik ***", __FILE__, __LINE__);
    UxSaveLog(context,
              EscapeForLog("Run " + request.Name + ": report " + request.ReportPath + ", task " +
                           (request.TaskName.empty() ? "(all)" : request.TaskName)),
              __FILE__, __LINE__);
    ReportSession session(context);
    succeeded = succeeded && session.Read(request.ReportPath);
    succeeded = succeeded && session.ApplyParameters(request.Parameters);
    if (succeeded) {
        UxSaveLog(context, "Act =" + request.TaskName, __FILE__, __LINE__);
        succeeded = RunTask(context, session, request.TaskName);
    }
    if (context.StopFlag()->Requested()) {
        // A stopped run did not do all it was asked to, whatever step it was in.
        const std::string reason = "The run was stopped: " + context.StopFlag()->Reason();
        UxSaveLog(context, reason, __FILE__, __LINE__);
        context.NoteError(reason);
    }
    UxSaveLog(context, "*** Stop Orvik ***\n\n", __FILE__, __LINE__);
    outcome.ErrorCount = context.ErrorCount();
    outcome.FirstError = context.FirstError();
    outcome.Succeeded = succeeded && outcome.ErrorCount == 0;
    return outcome;
}

}  // namespace orvik
