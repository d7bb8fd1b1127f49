// A report as a document: its data sources, tasks (top-level tasks and their steps in one list),
// sheets and parameters, plus the report object that carries the report-level properties. What a
// run of it builds and writes belongs to the run (core/Run.h); the application context owns both.
// The registries it is read against outlive it.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/OvInfoAct.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoPrm.h"
#include "model/OvInfoSheet.h"

namespace orvik {
class FrontEnd;
}

class CReport {
  public:
    explicit CReport(CRegistries& registries) : registries_(registries) {}
    ~CReport();
    CReport(const CReport&) = delete;
    CReport& operator=(const CReport&) = delete;

    // Starts a new, empty report: destroys the old one, remembers `path` (or keeps the last
    // non-empty one), creates the report object with its HTMLayout and HTMLPath properties and
    // empties the HTML work folder. (InitOVK in persist/ReportLifecycle.h offers to save first.)
    void StartNew(std::string_view path = {});

    // Destroys every object of the report and the data-source list entries. (ClearDS in
    // persist/ReportLifecycle.h offers to save first.)
    void DestroyObjects();

    // Adds a sheet named `name` (or "Sheet <n>") with the grid's properties at their defaults,
    // and a first data source when the report has none. Returns the sheet. (ShowAddedSheet tells
    // a front end.)
    COvInfoSheet* NewSheet(std::string_view name = {});
    // Adds a copy of `source` named "<name> (New)" and marks the report modified.
    COvInfoSheet* CreateCopySheet(const COvInfoSheet& source);
    // Adds a data source named `name` (list entry, type properties at their defaults); null when
    // the name is taken. Marking the report modified is the caller's business.
    COvInfoDS* NewDataSource(std::string_view name);

    // The top-level tasks whose Name equals `name` (all top-level tasks when `name` is empty),
    // in list order.
    std::vector<COvInfoAct*> FindTopLevelTasks(std::string_view name) const;

    std::vector<std::unique_ptr<COvInfoDS>> DataSources;
    std::vector<std::unique_ptr<COvInfoAct>> Tasks;
    std::vector<std::unique_ptr<COvInfoSheet>> Sheets;
    std::vector<std::unique_ptr<COvInfoPrm>> Params;
    std::unique_ptr<COvInfoSheet> ReportObject;

    // The registries the report's objects register their properties with.
    CRegistries& Registries() const { return registries_; }

    COvInfoDS* CurrentDataSource = nullptr;
    bool Modified = false;
    std::string CurrentDocPath;
    std::string LastLoadedType;
    bool Loaded = false;  // true once a report file was read successfully

  private:
    CRegistries& registries_;
    std::string lastInitPath_;
};

// Tells `front` about `sheet`, just added by NewSheet or CreateCopySheet: its view, the property
// bar, the explorer (`sourceAdded`: NewSheet added the first data source too).
void ShowAddedSheet(orvik::FrontEnd& front, CReport& report, COvInfoSheet& sheet, bool sourceAdded);
