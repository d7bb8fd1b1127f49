// What every built-in kind shares: the connection. The connection string has the report's
// parameters substituted, is shown with its password masked, and a failure is reported with the
// providers this program knows when the provider was the problem. A source of this kind only
// connects; kinds with a query derive from it.
#pragma once

#include "model/DataSourceKind.h"

namespace orvik {

class ConnectedSourceKind : public DataSourceKind {
  public:
    int Connect(COvInfoDS& source, bool runQuery) override;
    // Connection-only sources (KPI lists; their list is read by the grid fill) have nothing to run.
    int Run(COvInfoDS&) override { return 1; }
};

}  // namespace orvik
