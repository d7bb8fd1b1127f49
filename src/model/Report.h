// The open report: its data sources, tasks (top-level tasks and their steps in one list), sheets
// and parameters, plus the report object that carries the report-level properties. One report is
// open at a time; the application context owns it.
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

class CReport {
  public:
    CReport() = default;
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
    // and a first data source when the report has none. Returns the sheet.
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

    COvInfoDS* CurrentDataSource = nullptr;
    std::string PageText;  // the last page the export built, for mail delivery and the view
    // The last page went straight to its file (PageFilePath) instead of into PageText, which is
    // empty: whoever needs the text reads the file.
    bool PageTextInFile = false;
    // An unattended run asks for the plain page to be written as it is made, so that a page of
    // hundreds of megabytes is never held whole.
    bool WritePageAsBuilt = false;
    // Canonical paths of the files UxWriteFile wrote since the report started. A mail step may
    // remove a file it sent only when this program made it; this says which ones outside the
    // HTML work folder it did make.
    std::set<std::string> WrittenFiles;
    bool Modified = false;
    // The report asks for plain parameter substitution (PlainParams); logged once per report.
    bool PlainParamsLogged = false;
    // The report asks for date arithmetic without carrying (DateArithmetic); logged once too.
    bool DateArithmeticLogged = false;
    std::string CurrentDocPath;
    std::string LastLoadedType;
    bool Loaded = false;  // true once a report file was read successfully

  private:
    std::string lastInitPath_;
};
