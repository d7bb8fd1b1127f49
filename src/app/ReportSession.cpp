#include "app/ReportSession.h"

#include <algorithm>
#include <exception>
#include <new>
#include <set>

#include "core/Log.h"
#include "core/LogText.h"
#include "data/ConnectionString.h"
#include "model/AppContext.h"
#include "model/Report.h"
#include "params/ParameterAssignment.h"
#include "params/ParameterValueList.h"
#include "persist/ReportFile.h"
#include "render/GridViews.h"
#include "tasks/ReportPage.h"
#include "tasks/TaskRunner.h"

namespace orvik {

bool ReportSession::Read(const std::string& path) {
    CReport& report = context_.Report();
    report.CurrentDocPath = path;
    sheetsPrepared_ = false;
    pageBuilt_ = false;
    return SerializeXML(context_, path, 0) != 0 && report.Loaded;
}

bool IsSecretParameter(const CReport& report, const std::string& name) {
    if (IsSecretName(name)) return true;
    const std::string reference = "`" + name;
    for (const auto& source : report.DataSources) {
        for (const std::string& value : ConnectionSecretValues(source->DSN.Value))
            if (value.find(reference) != std::string::npos) return true;
    }
    return false;
}

bool ReportSession::ApplyParameters(std::string_view parameterText) {
    return ApplyParameters(ParseParameterAssignments(parameterText));
}

bool ReportSession::ApplyParameters(const std::vector<ParameterAssignment>& assignments) {
    if (assignments.empty()) return true;
    CReport& report = context_.Report();
    bool accepted = true;
    const AppliedParameters applied = ApplyParameterAssignments(context_, assignments);
    for (const std::string& name : applied.Unknown) {
        const bool withoutValue = std::any_of(
            assignments.begin(), assignments.end(),
            [&name](const ParameterAssignment& a) { return a.Name == name && !a.HasValue; });
        ShowMessage(context_,
                    withoutValue ? "The /prm entry '" + EscapeForLog(name) +
                                       "' has no '=': write " + EscapeForLog(name) + "=VALUE"
                                 : "Unknown parameter '" + EscapeForLog(name) +
                                       "' in /prm: the report has no such parameter",
                    {}, MessageBoxButtons::Ok, MessageBoxIcon::Error);
        accepted = false;
    }
    for (const std::string& refusal : applied.Refused) {
        ShowMessage(context_, refusal + " (/prm)", {}, MessageBoxButtons::Ok,
                    MessageBoxIcon::Error);
        accepted = false;
    }
    for (const ParameterAssignment& assignment : assignments) {
        if (!assignment.HasValue) continue;
        // One line per value whatever it holds, and a password given on the command line stays
        // out of the log.
        const std::string shown = IsSecretParameter(report, assignment.Name)
                                      ? std::string("***")
                                      : EscapeForLog(assignment.Value);
        UxSaveLog(context_, "Param " + EscapeForLog(assignment.Name) + " = " + shown, __FILE__,
                  __LINE__);
    }
    return accepted;
}

void ReportSession::PrepareSheets() {
    if (sheetsPrepared_) return;
    sheetsPrepared_ = true;
    CReport& report = context_.Report();
    // Two sheets of one source share its result: the query runs once.
    std::set<const COvInfoDS*> ran;
    for (const auto& sheet : report.Sheets) {
        COvInfoDS* source = sheet->GetDS(report.DataSources);
        // Reading the file empties a name its source list lacks, but keeps what it said.
        const std::string named =
            sheet->cDS.Value.empty() ? sheet->UnknownType("cDS") : sheet->cDS.Value;
        if (!source && !named.empty() && context_.BatchMode) {
            // A renamed or deleted source would otherwise leave an empty sheet on a page that
            // goes out as if nothing were wrong.
            ShowMessage(context_,
                        "The sheet '" + sheet->Name.Value + "' shows the data source '" + named +
                            "', which the report does not have: it shows nothing",
                        {}, MessageBoxButtons::Ok, MessageBoxIcon::Error);
            failedSources_.push_back(named);
        }
        if (source && ran.insert(source).second) {
            if (const std::string type = source->UnknownType("tpDS");
                !type.empty() && context_.BatchMode) {
                // Connecting and running nothing would fill the sheet with nothing, silently.
                ShowMessage(context_,
                            "The data source '" + source->Name.Value + "' has the type '" + type +
                                "', which neither this program nor a plug-in knows: it was not run",
                            {}, MessageBoxButtons::Ok, MessageBoxIcon::Error);
                failedSources_.push_back(source->Name.Value);
            } else if (source->OpenConnectDS(context_, true) != 1) {
                failedSources_.push_back(source->Name.Value);
            }
        }
        if (const std::string view = sheet->UnknownType("tpVW");
            !view.empty() && context_.BatchMode) {
            ShowMessage(context_,
                        "The sheet '" + sheet->Name.Value + "' has the view type '" + view +
                            "', which neither this program nor a plug-in knows: it shows nothing",
                        {}, MessageBoxButtons::Ok, MessageBoxIcon::Error);
        }
        MakeGridView(context_, *sheet);
    }
    for (const auto& prm : report.Params) WraperParam(context_, *prm, false);
}

void ReportSession::BuildPage() {
    if (pageBuilt_) return;
    PrepareSheets();
    pageBuilt_ = true;
    UpdateHTML(context_);
}

int ReportSession::RunTask(const std::string& name) {
    // A page of a million rows goes to its file as it is made instead of being held whole.
    context_.Page.WriteAsBuilt = true;
    StepHooks hooks;
    hooks.BeforeStep = [this](COvInfoAct& step, const StepNeeds& needs) {
        if (needs.Data) PrepareSheets();
        if (needs.Delivers && !MayDeliver(step)) return false;
        if (needs.Page) BuildPage();
        // An export builds the page itself; later steps deliver that one.
        if (needs.BuildsPage) pageBuilt_ = true;
        return true;
    };
    return DoAct(context_, name.c_str(), hooks);
}

void ReportSession::RunTaskToTheEnd(const std::string& name) {
    try {
        RunTask(name);
    } catch (const std::bad_alloc&) {
        UxSaveLog(context_, "Orvik ran out of memory; the run was abandoned", __FILE__, __LINE__);
        context_.NoteError();
    } catch (const std::exception& error) {
        // A delivery error ends the run in order: logged, the stop line follows.
        UxSaveLog(context_, std::string("The run was abandoned: ") + error.what(), __FILE__,
                  __LINE__);
        context_.NoteError();
    }
}

bool ReportSession::MayDeliver(const COvInfoAct& step) const {
    if (failedSources_.empty() || !context_.BatchMode) return true;
    const COvInfoAct* task = step.Parent ? step.Parent : &step;
    // A task may ask to deliver whatever the run made, as the program always did.
    if (task->Get("SendAfterFailure") == "1") return true;
    std::string names;
    for (const std::string& name : failedSources_)
        names += (names.empty() ? "'" : ", '") + name + "'";
    UxSaveLog(context_,
              "Step " + step.Name.Value + " was not run: the data source " + names +
                  " failed in this run, and a page made without it is not sent (the task's "
                  "SendAfterFailure would send it)",
              __FILE__, __LINE__);
    return false;
}

void ReportSession::Show() {
    PrepareSheets();
    pageBuilt_ = true;
    HTMLRefresh(context_);
}

}  // namespace orvik
