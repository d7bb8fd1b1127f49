// A record set as a result table: every field is a data column, and the first one doubles as the
// row header, as report sheets have always shown SQL results.
#pragma once

#include "data/ResultTable.h"

class CADORecordset;

namespace orvik {

class RecordsetResult : public ResultTable {
  public:
    // Reads `records`, which must outlive the result.
    explicit RecordsetResult(CADORecordset& records) : records_(records) {}

    bool IsOpen() const override;
    long RowCount() const override;
    int ColumnCount() const override;
    int RowHeaderColumnCount() const override { return 1; }
    std::string Header(int col) const override;
    bool Value(long row, int col, Variant& value) const override;
    void ReadRow(long row, std::vector<Variant>& values) const override;

  private:
    CADORecordset& records_;
};

}  // namespace orvik
