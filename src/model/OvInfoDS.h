// A data source: a query against a database (SQL), an OLAP cube (OLAP) or a cube's KPI list (KPI),
// with its connection string. Sheets and list parameters refer to it by name.
#pragma once

#include "model/OvInfoObject.h"

class COvInfoDS : public COvInfoObject {
  public:
    explicit COvInfoDS(int group);

    // Shows the properties and makes this the report's current data source.
    void ShowProp();

    COvInfoProp Name, tpDS, DSN, Qry;
};

// Editor routines of the dialog-edited texts (kept in ComboId).
namespace DialogEditor {
constexpr unsigned ConnectionString = 1;
constexpr unsigned QueryText = 2;
}  // namespace DialogEditor
