// What differs between two cell sets, one line per difference, for tests that compare a cell set
// that came over XMLA with another: the axes' members (unique name, caption, properties), the
// slicer, and every cell's value (numbers with a relative tolerance, since a sum's last digits
// depend on the order it was added in) and, when asked, its formatted text.
#pragma once

#include <string>
#include <vector>

#include "data/AdoCellSet.h"

namespace orvik::test {

std::vector<std::string> CellSetDifferences(const CellSetData& expected, const CellSetData& actual,
                                            bool formattedValues);

// A value as text ("" for empty and null; booleans as true/false).
std::string ValueText(const Variant& value);

// Whether two value texts are the same, or the same number within a relative 1e-9.
bool SameValue(const std::string& a, const std::string& b);

}  // namespace orvik::test
