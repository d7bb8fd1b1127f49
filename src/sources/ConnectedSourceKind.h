// What every built-in kind shares: the connection. The connection string has the report's
// parameters substituted, is shown with its password masked, and a failure is reported with the
// providers this program knows when the provider was the problem. A source of this kind only
// connects; kinds with a query derive from it.
#pragma once

#include <exception>
#include <string>

#include "model/DataSourceKind.h"

class COvInfoDS;

namespace orvik {

// The program setting that limits how long one query (an SQL statement, an MDX query) may run.
inline constexpr const char* kQueryTimeoutSetting = "QueryTimeout";
// "1" logs what the cube engine chose for each query (OlapConnection::TakeNotes).
inline constexpr const char* kCubeDebugLogSetting = "CubeDebugLog";
// Its seconds as set (0: no limit).
int QueryTimeoutSeconds(Run& run);

// Reports a failure of `source` through UxError, the message naming the data source so that a
// run with several sources says which one failed; `text` is what was being run.
void ReportSourceError(Run& run, const COvInfoDS& source, const std::exception& error, int line,
                       const std::string& text);

class ConnectedSourceKind : public DataSourceKind {
  public:
    int Connect(orvik::Run& run, COvInfoDS& source, bool runQuery) override;
    // Connection-only sources (KPI lists; their list is read by the grid fill) have nothing to run.
    int Run(orvik::Run&, COvInfoDS&) override { return 1; }
};

}  // namespace orvik
