// New objects are numbered after how many of their kind there are (a sheet added to two sheets is
// "Sheet 3"); a number already taken is refused with the kind's message, not skipped, so the user
// sees why nothing appeared. Tasks and steps are counted apart: the first step of every task is
// "Step 1", and a step's name need only differ from its sibling steps' (steps of different tasks
// never meet; a top-level task's name is what a run is asked for, so those must differ).
#include "design/ExplorerModel.h"
#include "design/DesignerWindows.h"

#include <algorithm>
#include <exception>
#include <unordered_map>

#include "core/LanguageTexts.h"
#include "core/Log.h"
#include "core/Run.h"
#include "design/ObjectRemoval.h"
#include "design/PageRefresh.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "tasks/TaskRunner.h"

namespace orvik::design {
namespace {

constexpr int kDeleteText = 1325;
constexpr int kNewItemText = 1326;
constexpr int kNewChildItemText = 1327;
constexpr int kRunTaskText = 1328;
constexpr int kStepWord = 1318;
constexpr int kParamTaken = 1320;
constexpr int kSheetTaken = 1321;
constexpr int kTaskTaken = 1322;
constexpr int kDeleteCaption = 1323;
constexpr int kDeleteQuestion = 1324;

// The kind word of the objects under `root`; 0 for the roots that hold none.
int KindWord(ExplorerRoot root) {
    switch (root) {
        case ExplorerRoot::Parameters:
            return 1330;
        case ExplorerRoot::DataSources:
            return 1317;
        case ExplorerRoot::Sheets:
            return 1316;
        case ExplorerRoot::Tasks:
            return 1319;
        default:
            return 0;
    }
}

std::string Command(orvik::Run& run, int command, int kind, const char* key) {
    return run.Language().GetText(command) + " " + run.Language().GetText(kind) + key;
}

void Refuse(orvik::Run& run, int message, const std::string& name) {
    ShowMessage(run, run.Language().GetText(message) + " = " + name);
}

// A structural change: the tree takes the new shape, the bar shows the new object, the title
// shows the report as changed.
void Added(orvik::Run& run, COvInfoObject& object) {
    CReport& report = run.Report();
    run.Front().RebuildExplorer();
    ShowObjectProperties(run, object);
    report.Modified = true;
    WindowsOf(run).ModifiedChanged(true);
}

template <typename T>
bool NameTaken(const std::vector<std::unique_ptr<T>>& items, const std::string& name) {
    return std::any_of(items.begin(), items.end(),
                       [&name](const auto& item) { return item->Name.Value == name; });
}

COvInfoObject* NewParameter(orvik::Run& run) {
    CReport& report = run.Report();
    const std::string name = "P" + std::to_string(report.Params.size() + 1);
    if (NameTaken(report.Params, name)) {
        Refuse(run, kParamTaken, name);
        return nullptr;
    }
    auto prm = std::make_unique<COvInfoPrm>(&run.Registries(), GroupId::Param);
    prm->Name.Value = name;
    // The report object lists every parameter's value under the parameter's name.
    prm->PrmVal.Caption = name;
    run.Registries().PrepareNewCombo(prm->Type, prm->Props, true);
    COvInfoPrm& added = *report.Params.emplace_back(std::move(prm));
    if (report.ReportObject) report.ReportObject->Props.push_back(&added.PrmVal);
    Added(run, added);
    RefreshPage(run);
    return &added;
}

COvInfoObject* NewDataSourceItem(orvik::Run& run) {
    CReport& report = run.Report();
    const std::string name =
        run.Language().GetText(1317) + " " + std::to_string(report.DataSources.size() + 1);
    // The data-source list refuses a taken name itself, with its own message.
    COvInfoDS* ds = report.NewDataSource(name);
    if (!ds) return nullptr;
    Added(run, *ds);
    return ds;
}

COvInfoObject* NewSheetItem(orvik::Run& run) {
    CReport& report = run.Report();
    const std::string name =
        run.Language().GetText(1316) + " " + std::to_string(report.Sheets.size() + 1);
    if (NameTaken(report.Sheets, name)) {
        Refuse(run, kSheetTaken, name);
        return nullptr;
    }
    const bool hadSource = !report.DataSources.empty();
    COvInfoSheet* sheet = report.NewSheet(name);
    if (!sheet) return nullptr;
    ShowAddedSheet(run.Front(), report, *sheet, !hadSource && !report.DataSources.empty());
    Added(run, *sheet);
    RefreshPage(run);
    return sheet;
}

COvInfoObject* NewTask(orvik::Run& run) {
    CReport& report = run.Report();
    const std::vector<COvInfoAct*> tasks = report.FindTopLevelTasks({});
    const std::string name = run.Language().GetText(1319) + " " + std::to_string(tasks.size() + 1);
    if (std::any_of(tasks.begin(), tasks.end(),
                    [&name](const COvInfoAct* task) { return task->Name.Value == name; })) {
        Refuse(run, kTaskTaken, name);
        return nullptr;
    }
    auto task = std::make_unique<COvInfoAct>(&run.Registries(), GroupId::Task);
    task->Name.Value = name;
    // A task is a name for its steps, not a step: it has no type. Whether its deliveries run
    // after a failed query is the task's choice, so that stays, as it does for a task loaded
    // from a file.
    std::erase(task->Props, &task->AType);
    COvInfoAct& added = *task;
    // In front: a new task is the first one written to the file and offered to run.
    report.Tasks.insert(report.Tasks.begin(), std::move(task));
    Added(run, added);
    return &added;
}

}  // namespace

std::string RootCaption(orvik::Run& run, ExplorerRoot root) {
    static constexpr int kRootTexts[] = {1310, 1309, 1311, 1312, 1313, 1314};
    return run.Language().GetText(kRootTexts[static_cast<int>(root)]);
}

std::string ColumnCaption(const COvInfoGCols& columns) {
    return "Col " + columns.Key + " <" + columns.ColN.Value + ">";
}

std::vector<ExplorerNode> BuildExplorerTree(orvik::Run& run, const CReport& report) {
    std::vector<ExplorerNode> roots;
    for (ExplorerRoot root :
         {ExplorerRoot::Page, ExplorerRoot::Parameters, ExplorerRoot::DataSources,
          ExplorerRoot::Sheets, ExplorerRoot::Tasks, ExplorerRoot::Settings}) {
        roots.push_back({RootCaption(run, root), root, ObjectKind::None, nullptr, {}});
    }
    const auto item = [](ExplorerRoot root, COvInfoObject& object, std::string caption) {
        return ExplorerNode{std::move(caption), root, object.TypeTag, &object, {}};
    };
    for (const auto& prm : report.Params)
        roots[1].Children.push_back(item(ExplorerRoot::Parameters, *prm, prm->Name.Value));
    for (const auto& ds : report.DataSources)
        roots[2].Children.push_back(item(ExplorerRoot::DataSources, *ds, ds->Name.Value));
    for (const auto& sheet : report.Sheets) {
        ExplorerNode node = item(ExplorerRoot::Sheets, *sheet, sheet->Name.Value);
        for (const auto& columns : sheet->GridColumns)
            node.Children.push_back(item(ExplorerRoot::Sheets, *columns, ColumnCaption(*columns)));
        roots[3].Children.push_back(std::move(node));
    }
    // Steps under their task, in task-array order; one pass, however many steps a file holds.
    std::unordered_map<const COvInfoAct*, size_t> taskNodes;
    std::vector<ExplorerNode>& tasks = roots[4].Children;
    for (const auto& task : report.Tasks) {
        if (task->Parent) continue;
        taskNodes.emplace(task.get(), tasks.size());
        tasks.push_back(item(ExplorerRoot::Tasks, *task, task->Name.Value));
    }
    for (const auto& step : report.Tasks) {
        if (!step->Parent) continue;
        const auto found = taskNodes.find(step->Parent);
        if (found != taskNodes.end())
            tasks[found->second].Children.push_back(
                item(ExplorerRoot::Tasks, *step, step->Name.Value));
    }
    return roots;
}

void ShowObjectProperties(orvik::Run& run, COvInfoObject& object) {
    switch (object.TypeTag) {
        case ObjectKind::Parameter:
            static_cast<COvInfoPrm&>(object).ShowProp(run.Front());
            break;
        case ObjectKind::DataSource:
            static_cast<COvInfoDS&>(object).ShowProp(run.Front(), run.Report());
            break;
        case ObjectKind::Sheet:
            static_cast<COvInfoSheet&>(object).ShowProp(run.Front());
            break;
        case ObjectKind::Task:
            static_cast<COvInfoAct&>(object).ShowProp(run.Front());
            break;
        case ObjectKind::GridColumns:
            static_cast<COvInfoGCols&>(object).ShowProp(run.Front());
            break;
        case ObjectKind::None:
        case ObjectKind::Settings:
        case ObjectKind::Report:
            break;
    }
}

ExplorerMenuTexts MenuTexts(orvik::Run& run, ExplorerRoot root, bool isTaskOrStep) {
    ExplorerMenuTexts texts;
    const int kind = KindWord(root);
    if (kind == 0) return texts;
    texts.NewItem = Command(run, kNewItemText, kind, "\tINS");
    if (root != ExplorerRoot::Tasks || isTaskOrStep)
        texts.Delete = Command(run, kDeleteText, kind, "\tDEL");
    if (root == ExplorerRoot::Tasks && isTaskOrStep) {
        texts.NewChildItem = Command(run, kNewChildItemText, kStepWord, "\tCtrl+INS");
        texts.RunTask = run.Language().GetText(kRunTaskText);
    }
    return texts;
}

ExplorerMenuTexts MenuTexts(orvik::Run& run, const ExplorerNode& node) {
    ExplorerMenuTexts texts =
        MenuTexts(run, node.Root, node.Object && node.Kind == ObjectKind::Task);
    if (!node.Object || node.Kind == ObjectKind::GridColumns) {
        texts.Delete.clear();
    } else if (node.Kind == ObjectKind::Task &&
               static_cast<const COvInfoAct*>(node.Object)->Parent) {
        texts.Delete = Command(run, kDeleteText, kStepWord, "\tDEL");
    }
    return texts;
}

COvInfoObject* NewItem(orvik::Run& run, ExplorerRoot root) {
    switch (root) {
        case ExplorerRoot::Parameters:
            return NewParameter(run);
        case ExplorerRoot::DataSources:
            return NewDataSourceItem(run);
        case ExplorerRoot::Sheets:
            return NewSheetItem(run);
        case ExplorerRoot::Tasks:
            return NewTask(run);
        default:
            return nullptr;
    }
}

COvInfoAct* NewChildItem(orvik::Run& run, COvInfoAct& task) {
    CReport& report = run.Report();
    if (!CanRemove(report, task)) return nullptr;
    COvInfoAct* parent = &task;
    // Bounded by the array: a file could make a ring of parents.
    for (size_t hops = 0; parent->Parent && hops < report.Tasks.size(); ++hops)
        parent = parent->Parent;
    if (parent->Parent) return nullptr;
    int siblings = 0;
    for (const auto& step : report.Tasks)
        if (step->Parent == parent) ++siblings;
    const std::string name = run.Language().GetText(kStepWord) + " " + std::to_string(siblings + 1);
    for (const auto& step : report.Tasks) {
        if (step->Parent == parent && step->Name.Value == name) {
            Refuse(run, kTaskTaken, name);
            return nullptr;
        }
    }
    auto step = std::make_unique<COvInfoAct>(&run.Registries(), GroupId::Task);
    step->Name.Value = name;
    step->Parent = parent;
    // Whether to deliver after a failure is the task's choice, not each step's.
    std::erase(step->Props, &step->SendAfterFailure);
    COvInfoAct& added = *report.Tasks.emplace_back(std::move(step));
    Added(run, added);
    return &added;
}

bool DeleteItem(orvik::Run& run, COvInfoObject& object) {
    CReport& report = run.Report();
    if (!CanRemove(report, object)) return false;
    if (ShowMessage(run, run.Language().GetText(kDeleteQuestion),
                    run.Language().GetText(kDeleteCaption), MessageBoxButtons::YesNo,
                    MessageBoxIcon::Question) != MessageBoxResult::Yes)
        return false;
    const bool onPage = object.TypeTag != ObjectKind::Task;
    RemoveObject(run, object);
    // The bar may be showing what just went; it shows the report's own properties instead.
    if (report.ReportObject)
        report.ReportObject->ShowProp(run.Front());
    else
        run.Front().ShowSettings();
    run.Front().RebuildExplorer();
    report.Modified = true;
    WindowsOf(run).ModifiedChanged(true);
    if (onPage) RefreshPage(run);
    return true;
}

bool RunTaskNamed(orvik::Run& run, const std::string& name) {
    CReport& report = run.Report();
    for (const auto& task : report.Tasks) {
        if (task->Parent || task->Name.Value != name) continue;
        try {
            RunAllSteps(run, *task);
        } catch (const std::exception& error) {
            UxError(run, error, "design", __LINE__, name.c_str());
        }
        return true;
    }
    return false;
}

}  // namespace orvik::design
