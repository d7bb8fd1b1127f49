// Feeds arbitrary bytes to the XMLA reply readers as a server's reply, both as a cell set and as
// a rowset. Whatever arrives must end in a reading or one CADOException: no crash, no hang, no
// leak, and a cell set read must be self-consistent (as many cells as its axes make).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "data/AdoException.h"
#include "olap/XmlaCellSetReader.h"
#include "olap/XmlaRowsetReader.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    try {
        orvik::XmlaMemorySource source(input);
        const CellSetData cells = orvik::xmla::ReadCellSetReply(source);
        size_t expected = 1;
        for (const CellSetAxis& axis : cells.Axes) expected *= axis.Positions.size();
        Check(cells.Cells.size() == expected);
        Check(cells.Axes.size() <= orvik::xmla::CellSetPayload::kMaxAxes);
    } catch (const CADOException&) {
    }
    try {
        orvik::XmlaMemorySource source(input);
        RowStore rows;
        orvik::xmla::ReadRowsetReply(source, rows);
        Check(rows.FieldCount() <= orvik::xmla::RowsetPayload::kMaxColumns);
    } catch (const CADOException&) {
    }
    return 0;
}
