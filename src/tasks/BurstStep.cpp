// "BURST": every recipient gets a page of their own. A query on one of the report's data sources
// gives, row by row, a value of one parameter and the addresses that get the page made with it;
// for each row the parameter takes the value, the sources that use it run again, the page is
// built anew and mailed like an "SMTP" step's (subject and attachments may use the parameter).
// One recipient that cannot be reached must not cost the others their page, so failures are
// logged and counted instead of ending the run, and the run fails once the loop is over.
#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/Log.h"
#include "core/LogText.h"
#include "core/Run.h"
#include "core/StopRequest.h"
#include "core/TextEncoding.h"
#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "data/Variant.h"
#include "model/OvInfoAct.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoPrm.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "model/TaskStep.h"
#include "params/ParamSubstitution.h"
#include "params/ParameterValueList.h"
#include "render/GridViews.h"
#include "tasks/Delivery.h"
#include "tasks/MailSession.h"
#include "tasks/ReportPage.h"

namespace orvik {
namespace {

struct BurstRow {
    std::string Value;
    std::string Addresses;
};

void Log(orvik::Run& run, const std::string& line) {
    UxSaveLog(run, line, __FILE__, __LINE__);
}

// Logs why the step cannot run at all; that fails the run.
void Refuse(orvik::Run& run, const COvInfoAct& step, const std::string& why) {
    const std::string line = "Burst " + EscapeForLog(step.Name.Value) + ": " + why;
    Log(run, line);
    run.NoteError(line);
}

COvInfoPrm* FindParameter(CReport& report, const std::string& name) {
    for (const auto& prm : report.Params) {
        if (prm->Name.Value == name) return prm.get();
    }
    return nullptr;
}

COvInfoDS* FindSource(CReport& report, const std::string& name) {
    for (const auto& source : report.DataSources) {
        if (source->Name.Value == name) return source.get();
    }
    return nullptr;
}

bool Mentions(const std::string& text, const std::vector<std::string>& names) {
    return std::any_of(names.begin(), names.end(), [&text](const std::string& name) {
        return text.find("`" + name) != std::string::npos ||
               text.find("~" + name + "~") != std::string::npos;
    });
}

// The parameters through which `name`'s value reaches a text: the parameter itself and every one
// whose own value names one of these (a value may hold another parameter's placeholder).
std::vector<std::string> ReachingNames(const CReport& report, const std::string& name) {
    std::vector<std::string> names{name};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& prm : report.Params) {
            const std::string& other = prm->Name.Value;
            if (other.empty() || std::find(names.begin(), names.end(), other) != names.end())
                continue;
            if (Mentions(prm->PrmVal.Value, names)) {
                names.push_back(other);
                grew = true;
            }
        }
    }
    return names;
}

// The entries of an address list, ";" or "," between them, blanks trimmed, empty ones left out.
std::vector<std::string> SplitAddresses(const std::string& list) {
    std::vector<std::string> addresses;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find_first_of(";,", start), list.size());
        const std::string_view entry = Trim(std::string_view(list).substr(start, end - start));
        if (!entry.empty()) addresses.emplace_back(entry);
        start = end + 1;
    }
    return addresses;
}

// Why a database value is no single mail address, or nothing when it is one. A value with blanks,
// angle brackets or control characters could name other recipients or forge the envelope.
std::optional<std::string> AddressProblem(const std::string& address) {
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == ' ' || c == '<' || c == '>' || c == '"')
            return std::string("it is not a plain mail address");
    }
    const size_t at = address.find('@');
    if (at == std::string::npos || at == 0 || at + 1 == address.size() ||
        address.find('@', at + 1) != std::string::npos)
        return std::string("it is not a plain mail address");
    return std::nullopt;
}

// The rows of the recipients query, run on `source`'s connection. Null when it could not run.
std::optional<std::vector<BurstRow>> ReadRows(orvik::Run& run, COvInfoDS& source,
                                              const std::string& query, std::string& problem) {
    if (!source.Connection || !source.Connection->IsOpen()) source.OpenConnectDS(run, false);
    if (!source.Connection || !source.Connection->IsOpen()) {
        problem = "the data source '" + source.Name.Value + "' could not connect";
        return std::nullopt;
    }
    std::vector<BurstRow> rows;
    try {
        CADORecordset recipients(source.Connection.get());
        recipients.Open(query);
        if (!recipients.IsOpen() || recipients.GetFieldCount() < 2) {
            problem = "the recipients query must return two columns (value, addresses)";
            return std::nullopt;
        }
        std::vector<Variant> values(2);
        for (; !recipients.IsEOF(); recipients.MoveNext()) {
            recipients.GetRowValues(values);
            rows.push_back({VariantToText(values[0]), VariantToText(values[1])});
        }
    } catch (const CADOException& error) {
        problem = std::string("the recipients query failed: ") + error.what();
        return std::nullopt;
    }
    return rows;
}

// Runs `sources` again for the parameter's current value (`reaching`: the names through which
// it reaches them) and builds the page from them. Returns the name of a source that failed.
std::optional<std::string> Rebuild(orvik::Run& run, const std::vector<COvInfoDS*>& sources,
                                   const std::vector<std::string>& reaching) {
    for (COvInfoDS* source : sources) {
        // A connection string that holds the value connects anew; otherwise the query suffices.
        const bool reconnect = !source->Connection || !source->Connection->IsOpen() ||
                               Mentions(source->DSN.Value, reaching);
        const int ran = reconnect ? source->OpenConnectDS(run, true) : source->OpenRSDS(run);
        RefreshGridViews(run, *source);
        if (ran != 1) return source->Name.Value;
    }
    UpdateHTML(run);
    return std::nullopt;
}

class BurstStep : public TaskStep {
  public:
    void Run(orvik::Run& run, COvInfoAct& step, size_t) override {
        CReport& report = run.Report();
        const std::string name = step.Get("BurstPrm");
        COvInfoPrm* prm = FindParameter(report, name);
        if (!prm) {
            Refuse(run, step,
                   "the report has no parameter '" + EscapeForLog(name) + "' (BurstPrm)");
            return;
        }
        COvInfoDS* source = FindSource(report, step.Get("BurstDS"));
        if (!source) {
            Refuse(run, step,
                   "the report has no data source '" + EscapeForLog(step.Get("BurstDS")) +
                       "' (BurstDS)");
            return;
        }
        std::string query;
        try {
            query = DSetParam(run, step.Get("BurstQry"), SubstitutionTarget::Sql);
        } catch (const SubstitutionError& error) {
            Refuse(run, step, std::string("the recipients query cannot be made: ") + error.what());
            return;
        }
        if (Trim(query).empty()) {
            Refuse(run, step, "no recipients query (BurstQry)");
            return;
        }
        std::string problem;
        const std::optional<std::vector<BurstRow>> rows = ReadRows(run, *source, query, problem);
        if (!rows) {
            Refuse(run, step, problem);
            return;
        }

        // Every recipient goes over the same mail session: its password command runs once.
        const MailSessionReuse session(step);
        const std::vector<std::string> reaching = ReachingNames(report, name);
        std::vector<COvInfoDS*> users;
        for (const auto& candidate : report.DataSources) {
            if (Mentions(candidate->Qry.Value, reaching) ||
                Mentions(candidate->DSN.Value, reaching))
                users.push_back(candidate.get());
        }
        const std::string original = prm->PrmVal.Value;
        int sent = 0;
        int failed = 0;
        for (const BurstRow& row : *rows) {
            if (StopRequested()) break;
            const std::string shown = "Burst " + EscapeForLog(row.Value);
            const std::vector<std::string> addresses = SplitAddresses(row.Addresses);
            // A refused row still stands for everyone it would have reached.
            const int reached = std::max<int>(1, static_cast<int>(addresses.size()));
            std::string chosen;
            std::optional<std::string> why = ChooseListValue(run, *prm, row.Value, chosen);
            if (!why && row.Value.empty() && IsListParameter(*prm))
                why = "it is not one of the parameter's list";
            if (why) {
                Log(run, shown + ": refused: " + EscapeForLog(*why));
                failed += reached;
                continue;
            }
            if (addresses.empty()) {
                Log(run, shown + ": failed: the row names no address");
                ++failed;
                continue;
            }
            prm->PrmVal.Value = chosen;
            if (const auto broken = Rebuild(run, users, reaching)) {
                Log(run, shown + ": failed: the data source '" + EscapeForLog(*broken) +
                             "' did not run, so no page was sent to " +
                             EscapeForLog(JoinAddresses(addresses)));
                failed += reached;
                continue;
            }
            std::vector<std::string> mailed;  // lower-cased: a mailbox is one whatever its case
            for (const std::string& address : addresses) {
                std::string folded = address;
                std::transform(folded.begin(), folded.end(), folded.begin(), [](char c) {
                    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
                });
                if (std::find(mailed.begin(), mailed.end(), folded) != mailed.end()) {
                    Log(run, shown + ": " + EscapeForLog(address) +
                                 " is named again in the row; it gets the page once");
                    continue;
                }
                mailed.push_back(std::move(folded));
                std::string reason;
                if (const auto bad = AddressProblem(address)) {
                    reason = "'" + address + "': " + *bad;
                } else {
                    reason = MailPageTo(run, step, address);
                }
                if (reason.empty()) {
                    Log(run, shown + ": sent to " + address);
                    ++sent;
                } else {
                    Log(run, shown + ": sending to " + EscapeForLog(address) +
                                 " failed: " + EscapeForLog(reason));
                    ++failed;
                }
            }
        }
        // Later steps see the report as it was before the loop.
        prm->PrmVal.Value = original;
        if (const auto broken = Rebuild(run, users, reaching)) {
            Log(run, "Burst " + EscapeForLog(step.Name.Value) + ": the data source '" +
                         EscapeForLog(*broken) +
                         "' did not run again for the parameter's own value");
        }
        Log(run, "Burst " + EscapeForLog(step.Name.Value) + ": " + std::to_string(sent) +
                     " sent, " + std::to_string(failed) + " failed");
        if (failed > 0) {
            run.NoteError("Burst " + EscapeForLog(step.Name.Value) + ": " + std::to_string(failed) +
                          " of " + std::to_string(sent + failed) + " recipients failed");
        }
    }

    bool NeedsData() const override { return true; }
    bool BuildsPage() const override { return true; }
    bool Delivers() const override { return true; }

  private:
    static bool IsListParameter(const COvInfoPrm& prm) {
        const std::string& type = prm.Type.Value;
        return type == "pcmb" || type == "pcmbm" || type == "DScmb";
    }

    static std::string JoinAddresses(const std::vector<std::string>& addresses) {
        std::string joined;
        for (const std::string& address : addresses)
            joined += (joined.empty() ? "" : ";") + address;
        return joined;
    }
};

const TaskStepRegistration<BurstStep> kBurst("BURST");

}  // namespace
}  // namespace orvik
