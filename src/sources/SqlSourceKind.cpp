// "SQL": a query against a database; statements separated by ";" run in turn and the last one's
// result is the source's.
#include <memory>

#include "core/Log.h"
#include "core/Run.h"
#include "core/StopRequest.h"
#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "data/RecordsetResult.h"
#include "model/OvInfoDS.h"
#include "params/ParamSubstitution.h"
#include "params/SqlScanner.h"
#include "sources/ConnectedSourceKind.h"

namespace orvik {
namespace {

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

class SqlSourceKind : public ConnectedSourceKind {
  public:
    int Run(orvik::Run& run, COvInfoDS& source) override {
        if (source.Qry.Value.empty()) return 0;
        source.Result.reset();
        source.RecordSet.reset();
        auto recordset = std::make_unique<CADORecordset>(source.Connection.get());
        const bool backslashes =
            source.Connection && source.Connection->Provider().BackslashEscapesInStrings();
        std::string statement = source.Qry.Value;
        bool ran = false;
        try {
            const std::string query = DSetParam(
                run, source.Qry.Value, PlacementOptions{SubstitutionTarget::Sql, backslashes});
            // Statements end at a ";" in code; one inside a string or a comment ends nothing.
            for (std::string& each : SplitSqlStatements(query, backslashes)) {
                statement = std::move(each);
                // The blank tail after a final ";" is no statement: opening it would run the
                // previous statement a second time.
                if (IsBlank(statement)) continue;
                const TimeLimitScope limit(QueryTimeoutSeconds(run), kQueryTimeoutSetting);
                if (!recordset->Open(statement, CADORecordset::openUnknown)) return 0;
                ran = true;
            }
        } catch (const std::exception& error) {
            ReportSourceError(run, source, error, __LINE__, statement);
            return 0;
        }
        if (!ran) return 0;
        source.RecordSet = std::move(recordset);
        source.Result = std::make_unique<RecordsetResult>(*source.RecordSet);
        return 1;
    }

    int RowHeaderColumnsWithoutResult() const override { return 1; }
    Variant ValueWithoutResult() const override { return Variant::MakeI4(0); }
    orvik::PageStyle Page() const override { return orvik::PageStyle::Table; }
};

const DataSourceKindRegistration<SqlSourceKind> kSql("SQL");

}  // namespace
}  // namespace orvik
