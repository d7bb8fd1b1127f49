#include "serve/ReportRender.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <mutex>

#include "app/ReportSession.h"
#include "app/WorkFolders.h"
#include "core/FolderLock.h"
#include "core/LanguageTexts.h"
#include "core/Log.h"
#include "core/LogText.h"
#include "core/StopRequest.h"
#include "core/TextEncoding.h"
#include "data/ConnectionString.h"
#include "model/AppContext.h"
#include "model/PropertyTranslation.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "params/ParameterValueList.h"
#include "persist/ReportLifecycle.h"
#include "plugin/PlugInLoader.h"
#include "render/GridBase.h"
#include "render/GridView.h"
#include "render/GridViews.h"

namespace orvik::serve {
namespace {

// The task the server adds to a report for its own steps; no report can name one so.
constexpr char kServeTask[] = "\x01orvik-serve";

// A plug-in's descriptor is one object in its library, shared by every run that loads it: runs
// load their plug-ins one at a time.
std::mutex plugInLoading;

// A run of the server's: its own work folder, log and stop flag.
struct ServeRun {
    std::unique_ptr<FolderLock> lock;
    std::unique_ptr<AppContext> context;
    std::string folder;
    std::string problem;
};

ServeRun StartRun(Program& program, const std::string& name, std::shared_ptr<RunStopFlag> stop) {
    ServeRun run;
    run.folder = RunWorkFolder(program.StateFolder(), name);
    run.lock = FolderLock::AcquireOwn(run.folder, run.problem);
    if (!run.lock) return run;
    run.context = std::make_unique<AppContext>(program, nullptr);
    if (stop) run.context->SetStopFlag(std::move(stop));
    AppContext& context = *run.context;
    context.BatchMode = true;
    context.SetLogPath(run.folder + "Orvik18.log");
    context.Registries().HtmlFolder = run.folder;
    BuildSchema(context.Registries(), program.Settings());
    TranslateProperties(context.Language(), context.Registries(), -1);
    {
        const std::lock_guard<std::mutex> guard(plugInLoading);
        LoadPlugIns(context);
    }
    if (!InitOVK(context)) run.problem = "the run could not start";
    return run;
}

std::string LowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The text of the layout's TITLE element, or "".
std::string LayoutTitle(const CReport& report) {
    if (!report.ReportObject) return {};
    const std::string layout = report.ReportObject->Get("HTMLayout");
    const std::string lower = LowerCase(layout);
    const size_t open = lower.find("<title>");
    if (open == std::string::npos) return {};
    const size_t start = open + 7;
    const size_t close = lower.find("</title>", start);
    if (close == std::string::npos) return {};
    return std::string(Trim(std::string_view(layout).substr(start, close - start)));
}

bool IsVisible(const COvInfoObject& object) {
    const std::string visible = object.Get("bVis");
    return visible.empty() || visible != "0";
}

// A cell as a CSV field: quoted when it must be, and never read as a formula by a spreadsheet.
std::string CsvField(std::string_view text) {
    std::string field(text);
    const bool formula =
        !field.empty() &&
        (field[0] == '=' || field[0] == '+' || field[0] == '@' ||
         (field[0] == '-' &&
          (field.size() == 1 || !std::isdigit(static_cast<unsigned char>(field[1])))));
    if (formula) field.insert(0, "'");
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

// Writes each visible grid sheet to Orvik-<n>.csv; counts the data rows.
void WriteCsvFiles(AppContext& context, RenderOutcome& outcome) {
    int number = 0;
    for (const auto& sheet : context.Report().Sheets) {
        const CGridView* view = FindGridView(*sheet);
        const CGridBase* grid = view ? view->GetGridCtrl() : nullptr;
        if (!grid || !IsVisible(*sheet) || grid->GetRowCount() <= 0) continue;
        const std::string path = outcome.workFolder + "Orvik-" + std::to_string(number++) + ".csv";
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        for (int row = 0; row < grid->GetRowCount(); ++row) {
            std::string line;
            for (int column = grid->GetFixedColumnCount(); column < grid->GetColumnCount();
                 ++column) {
                if (column > grid->GetFixedColumnCount()) line += ',';
                line += CsvField(grid->GetItemText(row, column));
            }
            out << line << "\r\n";
        }
        if (!out.flush()) continue;
        outcome.rows += grid->GetRowCount() - grid->GetFixedRowCount();
        outcome.csvFiles.push_back(path);
        outcome.csvNames.push_back(sheet->Name.Value);
    }
}

// Adds a step of `type` to the server's task; false when no such step type is registered.
bool AddStep(AppContext& context, COvInfoAct& task, const std::string& type) {
    if (!context.Registries().Types.Steps.Find(type)) return false;
    auto step = std::make_unique<COvInfoAct>(&context.Registries(), GroupId::Task);
    step->Name.Value = type;
    step->AType.Value = type;
    context.Registries().PrepareNewCombo(step->AType, step->Props, true);
    step->Parent = &task;
    context.Report().Tasks.push_back(std::move(step));
    return true;
}

bool Exists(const std::string& path) {
    std::ifstream file(path);
    return file.good();
}

}  // namespace

ReportDescription DescribeReport(Program& program, const std::string& path,
                                 const std::string& workName) {
    ReportDescription description;
    ServeRun run = StartRun(program, workName, nullptr);
    if (!run.context) {
        description.problem = run.problem;
        return description;
    }
    AppContext& context = *run.context;
    const RunStopScope stopScope(context.StopFlag());
    ReportSession session(context);
    if (!session.Read(path)) {
        description.problem =
            context.FirstError().empty() ? "the report could not be read" : context.FirstError();
        return description;
    }
    description.read = true;
    CReport& report = context.Report();
    description.title = LayoutTitle(report);
    description.pdfAvailable = context.Registries().Types.Steps.Find("PDF") != nullptr;
    for (const auto& task : report.Tasks)
        if (!task->Parent) description.tasks.push_back(task->Name.Value);
    for (const auto& prm : report.Params) {
        FormParameter parameter;
        parameter.name = prm->Name.Value;
        parameter.title = prm->Tit.Value;
        parameter.type = prm->Type.Value;
        parameter.value = prm->PrmVal.Value;
        parameter.visible = IsVisible(*prm);
        parameter.secret = IsSecretParameter(report, parameter.name);
        parameter.multiple = parameter.type == "pcmbm" || parameter.type == "DScmb";
        try {
            if (auto offered = OfferedValues(context, *prm))
                parameter.options = std::move(*offered);
        } catch (const std::exception& error) {
            parameter.problem = std::string("its list could not be read: ") + error.what();
        }
        description.parameters.push_back(std::move(parameter));
    }
    return description;
}

RenderOutcome RenderReport(Program& program, const RenderRequest& request) {
    RenderOutcome outcome;
    ServeRun run = StartRun(program, request.workName, request.stop);
    outcome.workFolder = run.folder;
    if (!run.context || !run.problem.empty()) {
        outcome.errorCount = 1;
        outcome.firstError = "the run did not start: " + run.problem;
        return outcome;
    }
    AppContext& context = *run.context;
    const RunStopScope stopScope(context.StopFlag());
    UxSaveLog(context, "*** Start Orvik ***", __FILE__, __LINE__);
    UxSaveLog(context,
              EscapeForLog("Served run " + request.workName + ": report " + request.reportPath),
              __FILE__, __LINE__);
    ReportSession session(context);
    if (!session.Read(request.reportPath)) {
        outcome.errorCount = std::max(1, context.ErrorCount());
        outcome.firstError =
            context.FirstError().empty() ? "the report could not be read" : context.FirstError();
        return outcome;
    }
    CReport& report = context.Report();
    const AppliedParameters applied = ApplyParameterAssignments(context, request.values);
    for (const std::string& name : applied.Unknown)
        outcome.refused.push_back("the report has no parameter '" + name + "'");
    outcome.refused.insert(outcome.refused.end(), applied.Refused.begin(), applied.Refused.end());
    for (const ParameterAssignment& value : request.values) {
        UxSaveLog(context,
                  "Param " + EscapeForLog(value.Name) + " = " +
                      (IsSecretParameter(report, value.Name) ? std::string("***")
                                                             : EscapeForLog(value.Value)),
                  __FILE__, __LINE__);
    }
    if (!outcome.refused.empty()) {
        for (const std::string& why : outcome.refused) UxSaveLog(context, why, __FILE__, __LINE__);
        outcome.errorCount = static_cast<int>(outcome.refused.size());
        outcome.firstError = outcome.refused.front();
        return outcome;
    }
    std::string taskName = request.task;
    if (taskName.empty()) {
        // The page as a task's HTML step writes it, then the downloads from the same results.
        auto task = std::make_unique<COvInfoAct>(&context.Registries(), GroupId::Task);
        task->Name.Value = kServeTask;
        COvInfoAct& added = *task;
        report.Tasks.push_back(std::move(task));
        AddStep(context, added, "HTML");
        AddStep(context, added, "XLSX");
        if (request.withPdf) AddStep(context, added, "PDF");
        taskName = kServeTask;
    } else if (report.FindTopLevelTasks(taskName).empty()) {
        outcome.refused.push_back("the report has no task named '" + taskName + "'");
        outcome.errorCount = 1;
        outcome.firstError = outcome.refused.front();
        return outcome;
    }
    UxSaveLog(context, "Act =" + EscapeForLog(request.task), __FILE__, __LINE__);
    session.RunTaskToTheEnd(taskName);
    if (context.StopFlag()->Requested() || StopRequested()) {
        const std::string reason = "The run was stopped: " + context.StopFlag()->Reason();
        UxSaveLog(context, reason, __FILE__, __LINE__);
        context.NoteError(reason);
    }
    if (request.task.empty()) {
        WriteCsvFiles(context, outcome);
        if (Exists(run.folder + "Orvik.htm")) outcome.page = run.folder + "Orvik.htm";
        if (Exists(run.folder + "Orvik.xlsx")) outcome.workbook = run.folder + "Orvik.xlsx";
        if (request.withPdf && Exists(run.folder + "Orvik.pdf"))
            outcome.pdf = run.folder + "Orvik.pdf";
    }
    UxSaveLog(context, "*** Stop Orvik ***\n\n", __FILE__, __LINE__);
    outcome.errorCount = context.ErrorCount();
    outcome.firstError = context.FirstError();
    outcome.succeeded = outcome.errorCount == 0 && (!request.task.empty() || !outcome.page.empty());
    return outcome;
}

bool IsSecretParameterOf(const std::vector<FormParameter>& parameters, const std::string& name) {
    if (IsSecretName(name)) return true;
    return std::any_of(parameters.begin(), parameters.end(),
                       [&name](const FormParameter& p) { return p.name == name && p.secret; });
}

}  // namespace orvik::serve
