// A small star schema the cube tests write themselves: two years of months, five stores (one of
// them "Mom's Place", whose name holds a quote), two products and a handful of sales. The Store
// hierarchy does not say whether it has an All member, so it takes the default.
#pragma once

#include <memory>
#include <string>

#include "TestSupport.h"

namespace orvik::test {

class SmallShop {
  public:
    // Writes the database and the schema into a folder of their own.
    SmallShop();

    // The cube provider's connection string for the shop.
    std::string Connection() const;
    // One number computed by SQLite from the shop's file: the oracle for the engine's sums.
    double Sql(const std::string& select) const;
    // Runs SQL on the shop's file (to change its facts under a connection that has read them).
    void Execute(const std::string& sql) const;
    // The message a query on the shop ends with ("" when it ran).
    std::string ErrorOf(const std::string& mdx) const;

  private:
    TempDir folder_;
    std::string database_;
    std::string schema_;
};

}  // namespace orvik::test
