// Which rows of a schema rowset a Discover request's restrictions leave: each restriction that
// names a column keeps the rows whose value in it is the one asked (without case, as OLAP names
// compare); restrictions on columns the rowset does not have are ignored, as servers do for the
// ones they do not know. On the members rowset, TREE_OP turns MEMBER_UNIQUE_NAME into a question
// about the member's family: its children, siblings, parent, itself, descendants, ancestors.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "data/RowStore.h"

namespace orvik::xmla {

class RowsetFilter {
  public:
    // `restrictions` as the request holds them; CATALOG_NAME and CUBE_NAME are left to the
    // caller, which chooses the catalog and the cube by them.
    RowsetFilter(const RowStore& rows,
                 const std::vector<std::pair<std::string, std::string>>& restrictions);

    bool Keeps(size_t row) const { return kept_[row]; }
    size_t KeptCount() const;

  private:
    std::vector<bool> kept_;
};

}  // namespace orvik::xmla
