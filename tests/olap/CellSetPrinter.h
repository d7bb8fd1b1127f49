// Prints a cell set the way the MDX case files write their expected results, and compares the two
// line by line, so that a failing case shows what differs in the form its author wrote it.
#pragma once

#include <string>
#include <vector>

#include "MdxCase.h"
#include "data/AdoCellSet.h"

namespace orvik::test {

// `data` printed in `form`, one string per line, without line ends.
std::vector<std::string> PrintCellSet(const CellSetData& data, MdxCaseForm form);

// The outcome of comparing a printed result with a case's expected lines.
struct CaseComparison {
    bool Same = true;
    std::string FirstDifference;  // one line: where the first difference is and what it is
    std::string Report;           // the differing lines with some context, '-' expected, '+' actual
};

// Compares `actual` (as PrintCellSet printed it) with `kase`'s expected lines. Cell values of the
// XMLA form are compared as numbers with a relative tolerance, since a sum's last digits depend on
// the order it was added in; an XMLA cell without value counts as empty.
CaseComparison CompareCase(const MdxCase& kase, const std::vector<std::string>& actual);

}  // namespace orvik::test
