// The report explorer without its window: which items the tree holds and what its commands do
// (New Item, New Child Item, Delete, Run Task). The designer's tree control shows this model and
// calls these commands; tests call them directly.
#pragma once

namespace orvik {
class Run;
}

#include <string>
#include <vector>

#include "core/ObjectKind.h"

class CReport;
class COvInfoObject;
class COvInfoAct;
class COvInfoGCols;

namespace orvik::design {

// The six roots of the explorer, in tree order.
enum class ExplorerRoot { Page, Parameters, DataSources, Sheets, Tasks, Settings };

// One item of the tree: a root (Object null) or a report object.
struct ExplorerNode {
    std::string Caption;
    ExplorerRoot Root = ExplorerRoot::Page;
    ObjectKind Kind = ObjectKind::None;  // None for a root
    COvInfoObject* Object = nullptr;
    std::vector<ExplorerNode> Children;
};

// The whole tree of the current report, captions in the current language.
std::vector<ExplorerNode> BuildExplorerTree(orvik::Run& run, const CReport& report);

// The caption of a root (its language text).
std::string RootCaption(orvik::Run& run, ExplorerRoot root);

// The context-menu texts for an item under `root`: "New Item <kind>\tINS" and so on; empty when
// the command does not apply there. Delete is offered under every root that holds objects (under
// the tasks root only for a task or step); the window shows it on object items.
struct ExplorerMenuTexts {
    std::string NewItem, NewChildItem, Delete, RunTask;
};
ExplorerMenuTexts MenuTexts(orvik::Run& run, ExplorerRoot root, bool isTaskOrStep);
// The same for one item of the tree: Delete only on object items (a step's says "Step"), and
// nothing to delete on grid column sets.
ExplorerMenuTexts MenuTexts(orvik::Run& run, const ExplorerNode& node);

// Shows `object`'s properties as its own class does (a data source becomes the current one).
void ShowObjectProperties(orvik::Run& run, COvInfoObject& object);

// The caption of a grid column set's item: "Col <key> <<name>>".
std::string ColumnCaption(const COvInfoGCols& columns);

// Adds an object of the kind `root` holds, named by the explorer's rules (P<n>, "Data Source <n>",
// "Sheet <n>", "Distribution <n>"); shows the duplicate-name message and returns null when the
// name is taken. Shows the new object's properties and marks the report modified.
COvInfoObject* NewItem(orvik::Run& run, ExplorerRoot root);
// Adds a step ("Step <n>") under the top-level task `task` (a step given here stands for its
// task); null when `task` is not in the report, or (message shown) when the name is taken.
COvInfoAct* NewChildItem(orvik::Run& run, COvInfoAct& task);
// Asks "Are Your Sure to delete item?" and, on Yes, deletes `object` and what cannot live
// without it (design/ObjectRemoval.h), rebuilds the explorer and the page. True when deleted;
// false without asking when `object` is nothing the explorer deletes.
bool DeleteItem(orvik::Run& run, COvInfoObject& object);
// Runs the first top-level task named `name`; false when there is none.
bool RunTaskNamed(orvik::Run& run, const std::string& name);

}  // namespace orvik::design
