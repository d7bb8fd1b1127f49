// The one shape every data-source kind's result takes for the rest of the program: a table of
// rows counted from 1 and columns counted from 0, row-header columns first, with a header per
// column. The data source's accessors, the grid fill, formulas and exporters read results only
// through it, so a new kind of source (a cube, a KPI list, a plug-in's) is one class that opens
// into a ResultTable, and nothing that reads results changes.
#pragma once

#include <string>
#include <vector>

#include "data/Variant.h"

namespace orvik {

class ResultTable {
  public:
    virtual ~ResultTable() = default;

    // False once the result can no longer be read (its connection went away).
    virtual bool IsOpen() const = 0;
    // The number of data rows. Throws CADOException when the result cannot be read.
    virtual long RowCount() const = 0;
    // The number of columns, row-header columns included.
    virtual int ColumnCount() const = 0;
    // How many of the first columns are row headers rather than data.
    virtual int RowHeaderColumnCount() const = 0;
    // The raw header text of column `col` ("" when it has none).
    virtual std::string Header(int col) const = 0;
    // Reads the value at (`row` from 1, `col` from 0) into `value`; false when there is no such
    // cell in a result that has rows. Throws CADOException when the result cannot be read. Reading
    // row after row is cheap: no result repositions per cell.
    virtual bool Value(long row, int col, Variant& value) const = 0;
    // Reads the first `values.size()` columns of `row` at once (what a fill of many rows uses).
    // Throws as Value does.
    virtual void ReadRow(long row, std::vector<Variant>& values) const {
        for (size_t col = 0; col < values.size(); ++col)
            if (!Value(row, static_cast<int>(col), values[col])) values[col] = Variant::MakeI4(0);
    }
};

}  // namespace orvik
