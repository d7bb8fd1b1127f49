#include "CellSetDifferences.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace orvik::test {
namespace {

std::string Describe(const CellSetMember& member) {
    std::string text = member.UniqueName + " '" + member.Caption + "'";
    for (const CellSetProperty& property : member.Properties)
        text += " " + property.Name + "=" + ValueText(property.Value);
    return text;
}

void CompareAxis(const std::string& name, const CellSetAxis& a, const CellSetAxis& b,
                 std::vector<std::string>& out) {
    if (a.Positions.size() != b.Positions.size()) {
        out.push_back(name + ": " + std::to_string(b.Positions.size()) + " positions, not " +
                      std::to_string(a.Positions.size()));
        return;
    }
    for (size_t p = 0; p < a.Positions.size(); ++p) {
        const auto& x = a.Positions[p].Members;
        const auto& y = b.Positions[p].Members;
        for (size_t m = 0; m < std::max(x.size(), y.size()); ++m) {
            const std::string want = m < x.size() ? Describe(x[m]) : "nothing";
            const std::string got = m < y.size() ? Describe(y[m]) : "nothing";
            if (want != got)
                out.push_back(name + " position " + std::to_string(p) + ": " + want + " here " +
                              got);
        }
    }
}

}  // namespace

std::string ValueText(const Variant& value) {
    if (value.Type() == VariantType::Empty || value.Type() == VariantType::Null) return {};
    if (value.Type() == VariantType::Bool) return value.AsInt64() ? "true" : "false";
    return value.AsString();
}

bool SameValue(const std::string& a, const std::string& b) {
    if (a == b) return true;
    char* endA = nullptr;
    char* endB = nullptr;
    const double x = std::strtod(a.c_str(), &endA), y = std::strtod(b.c_str(), &endB);
    return !a.empty() && !b.empty() && *endA == 0 && *endB == 0 &&
           std::fabs(x - y) <= 1e-9 * std::max(1.0, std::fabs(x));
}

std::vector<std::string> CellSetDifferences(const CellSetData& expected, const CellSetData& actual,
                                            bool formattedValues) {
    std::vector<std::string> out;
    if (expected.Axes.size() != actual.Axes.size())
        return {std::to_string(actual.Axes.size()) + " axes, not " +
                std::to_string(expected.Axes.size())};
    for (size_t a = 0; a < expected.Axes.size(); ++a)
        CompareAxis("Axis" + std::to_string(a), expected.Axes[a], actual.Axes[a], out);
    CompareAxis("SlicerAxis", expected.Slicer, actual.Slicer, out);
    if (expected.Cells.size() != actual.Cells.size()) {
        out.push_back(std::to_string(actual.Cells.size()) + " cells, not " +
                      std::to_string(expected.Cells.size()));
        return out;
    }
    for (size_t c = 0; c < expected.Cells.size(); ++c) {
        const std::string want = ValueText(expected.Cells[c].Value);
        const std::string got = ValueText(actual.Cells[c].Value);
        if (!SameValue(want, got))
            out.push_back("cell " + std::to_string(c) + ": " + want + " here " + got);
        else if (formattedValues &&
                 expected.Cells[c].FormattedValue != actual.Cells[c].FormattedValue)
            out.push_back("cell " + std::to_string(c) + " shows '" +
                          expected.Cells[c].FormattedValue + "' here '" +
                          actual.Cells[c].FormattedValue + "'");
    }
    return out;
}

}  // namespace orvik::test
