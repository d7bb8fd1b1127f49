#include "data/CellSetResult.h"

#include "data/AdoCellSet.h"
#include "data/AdoException.h"

namespace orvik {

bool CellSetResult::IsOpen() const {
    return cells_.IsOpen();
}

long CellSetResult::RowCount() const {
    if (!cells_.IsOpen()) return 0;
    return cells_.AxisCount() > 1 ? static_cast<long>(cells_.Axis(1).Positions.size()) : 1;
}

int CellSetResult::DataColumnCount() const {
    if (!cells_.IsOpen() || cells_.AxisCount() < 1) return 0;
    return static_cast<int>(cells_.Axis(0).Positions.size());
}

int CellSetResult::RowHeaderColumnCount() const {
    if (!cells_.IsOpen() || cells_.AxisCount() < 2 || cells_.Axis(1).Positions.empty()) return 0;
    return static_cast<int>(cells_.Axis(1).Positions.front().Members.size());
}

int CellSetResult::ColumnCount() const {
    return RowHeaderColumnCount() + DataColumnCount();
}

std::string CellSetResult::Header(int col) const {
    const int rowHeaders = RowHeaderColumnCount();
    // Column 0 has no header, even when there are no row headers to fill it.
    if (col < 1 || col < rowHeaders || col >= rowHeaders + DataColumnCount()) return {};
    const CellSetPosition& position =
        cells_.Axis(0).Positions[static_cast<size_t>(col - rowHeaders)];
    std::string header;
    for (size_t m = 0; m < position.Members.size(); ++m) {
        if (m > 0) header += " . ";
        header += position.Members[m].Caption;
    }
    return header;
}

bool CellSetResult::Value(long row, int col, Variant& value) const {
    if (!cells_.IsOpen() || row < 1 || col < 0) return false;
    const int rowHeaders = RowHeaderColumnCount();
    const int dataColumns = DataColumnCount();
    if (col < rowHeaders) {
        const auto& positions = cells_.Axis(1).Positions;
        if (static_cast<size_t>(row) > positions.size() ||
            static_cast<size_t>(col) >= positions[row - 1].Members.size())
            throw CADOException(AdoError::InvalidArgument,
                                AdoErrorMeaning(AdoError::InvalidArgument));
        value = Variant::MakeString(positions[row - 1].Members[col].Caption);
        return true;
    }
    if (col >= rowHeaders + dataColumns) {
        value = Variant();
        return true;
    }
    value = cells_.Cell((row - 1) * dataColumns + (col - rowHeaders)).Value;
    return true;
}

}  // namespace orvik
