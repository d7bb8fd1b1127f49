#include "data/RecordsetResult.h"

#include "data/AdoRecordset.h"

namespace orvik {

bool RecordsetResult::IsOpen() const {
    return records_.IsOpen();
}

long RecordsetResult::RowCount() const {
    return records_.IsOpen() ? records_.GetRecordCount() : 0;
}

int RecordsetResult::ColumnCount() const {
    return records_.IsOpen() ? records_.GetFieldCount() : 0;
}

std::string RecordsetResult::Header(int col) const {
    if (!records_.IsOpen() || col < 0 || col >= records_.GetFieldCount()) return {};
    return records_.GetFieldName(col);
}

bool RecordsetResult::Value(long row, int col, Variant& value) const {
    // The static cursor moves by index, so positioning only when the row changes keeps a
    // row-by-row read linear.
    if (records_.GetAbsolutePosition() != row) records_.SetAbsolutePosition(row);
    // A field the record lacks reads as empty, as the data source has always given it.
    value = Variant();
    records_.GetFieldValue(col, value);
    return true;
}

void RecordsetResult::ReadRow(long row, std::vector<Variant>& values) const {
    if (records_.GetAbsolutePosition() != row) records_.SetAbsolutePosition(row);
    records_.GetRowValues(values);
}

}  // namespace orvik
