// A small shop with KPIs, for the KPI tests: regions with sales and targets over two years, a
// cube "Sales" whose KPIs are revenue against target (status and trend written with the KPI
// functions), growth under it in the same folder, and a margin KPI without goal or trend whose
// value ends in a bare measure name; and a cube "Returns" with a KPI of its own, which the Sales
// KPI list must never show.
#pragma once

#include <string>

#include "TestSupport.h"

namespace orvik::test {

class KpiShop {
  public:
    // Writes the database and the schema into `folder`; `extraKpis` goes into the Sales cube
    // after its KPIs.
    explicit KpiShop(const TempDir& folder, const std::string& extraKpis = "");

    // The cube provider's connection string.
    std::string Connection() const;
    // One number worked out by SQLite from the shop's file.
    double Sql(const std::string& select) const;

  private:
    std::string database_;
    std::string schema_;
};

}  // namespace orvik::test
