// A cell set as a result table: the members of each row position become the row-header columns,
// the positions of the column axis the data columns, and a column's header is its members'
// captions joined by " . ". A cell set with one axis is a single row.
#pragma once

#include "data/ResultTable.h"

class CADOMDCellSet;

namespace orvik {

class CellSetResult : public ResultTable {
  public:
    // Reads `cells`, which must outlive the result.
    explicit CellSetResult(const CADOMDCellSet& cells) : cells_(cells) {}

    bool IsOpen() const override;
    long RowCount() const override;
    int ColumnCount() const override;
    int RowHeaderColumnCount() const override;
    std::string Header(int col) const override;
    bool Value(long row, int col, Variant& value) const override;

  private:
    int DataColumnCount() const;

    const CADOMDCellSet& cells_;
};

}  // namespace orvik
