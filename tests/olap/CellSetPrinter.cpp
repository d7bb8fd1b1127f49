#include "CellSetPrinter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "data/Variant.h"

namespace orvik::test {
namespace {

std::string Tuple(const CellSetPosition& position) {
    std::string text = "{";
    for (size_t i = 0; i < position.Members.size(); ++i) {
        if (i > 0) text += ", ";
        text += position.Members[i].UniqueName;
    }
    return text + "}";
}

std::string Number(double value) {
    // Whole numbers print as integers, as an XMLA server writes an xsd:int or a whole double.
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        return std::to_string(static_cast<long long>(value));
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string ValueText(const Variant& value) {
    switch (value.Type()) {
        case VariantType::Bool:
            return value.AsInt64() ? "true" : "false";
        case VariantType::R4:
        case VariantType::R8:
        case VariantType::Currency:
        case VariantType::Decimal:
            return Number(value.AsDouble());
        case VariantType::String:
            return value.AsString();
        case VariantType::Date:
            return VariantToText(value);
        default:
            return std::to_string(value.AsInt64());
    }
}

bool IsEmptyCell(const CellSetCell& cell) {
    return cell.Value.IsEmpty() || cell.Value.IsNull();
}

void PrintTraditional(const CellSetData& data, std::vector<std::string>& lines) {
    lines.push_back("Axis #0:");
    for (const CellSetPosition& tuple : data.Slicer.Positions) lines.push_back(Tuple(tuple));
    for (size_t axis = 0; axis < data.Axes.size(); ++axis) {
        lines.push_back("Axis #" + std::to_string(axis + 1) + ":");
        for (const CellSetPosition& position : data.Axes[axis].Positions)
            lines.push_back(Tuple(position));
    }
    if (data.Axes.empty()) {
        // A result without axes is its one cell, printed bare.
        for (const CellSetCell& cell : data.Cells) lines.push_back(cell.FormattedValue);
        return;
    }
    // Every cell gets a line, numbered by its row; with one axis everything is row 0.
    const size_t columns = data.Axes[0].Positions.size();
    const size_t rows = data.Axes.size() > 1 ? data.Axes[1].Positions.size() : 1;
    for (size_t ordinal = 0; ordinal < data.Cells.size(); ++ordinal) {
        const size_t row = columns && rows ? ordinal / columns % rows : 0;
        lines.push_back("Row #" + std::to_string(row) + ": " + data.Cells[ordinal].FormattedValue);
    }
}

void PrintAxisOnly(const CellSetData& data, std::vector<std::string>& lines) {
    if (data.Axes.empty()) return;
    for (const CellSetPosition& position : data.Axes[0].Positions)
        lines.push_back(position.Members.size() == 1 ? position.Members[0].UniqueName
                                                     : Tuple(position));
}

void PrintXmla(const CellSetData& data, std::vector<std::string>& lines) {
    std::string slicer = "Slicer: ";
    for (size_t i = 0; i < data.Slicer.Positions.size(); ++i)
        slicer += (i ? ", " : "") + Tuple(data.Slicer.Positions[i]);
    lines.push_back(slicer);
    std::string axisNames;
    for (size_t axis = 0; axis < data.Axes.size(); ++axis) {
        const auto& positions = data.Axes[axis].Positions;
        lines.push_back("Axis" + std::to_string(axis) + " (" + std::to_string(positions.size()) +
                        " positions):");
        for (const CellSetPosition& position : positions) lines.push_back("  " + Tuple(position));
        axisNames += (axis ? ", Axis" : "Axis") + std::to_string(axis);
    }
    lines.push_back("Cells (coordinates are positions on " + axisNames +
                    "; ordinal = a0 + a1*|Axis0| + ...):");
    for (size_t ordinal = 0; ordinal < data.Cells.size(); ++ordinal) {
        std::string coordinates;
        size_t rest = ordinal;
        for (size_t axis = 0; axis < data.Axes.size(); ++axis) {
            const size_t size = std::max<size_t>(data.Axes[axis].Positions.size(), 1);
            coordinates += (axis ? "," : "") + std::to_string(rest % size);
            rest /= size;
        }
        const CellSetCell& cell = data.Cells[ordinal];
        std::string line = "  (" + coordinates + ") ordinal " + std::to_string(ordinal) + ": ";
        line += IsEmptyCell(cell)
                    ? "(empty)"
                    : "Value=" + ValueText(cell.Value) + " FmtValue=" + cell.FormattedValue;
        lines.push_back(line);
    }
}

// An XMLA cell line split at its value: "  (0,1) ordinal 3: " + value + formatted value.
struct XmlaCell {
    std::string Head, Value, Formatted;
    bool Empty = false;
};

bool SplitXmlaCell(const std::string& line, XmlaCell& cell) {
    const size_t ordinal = line.find(") ordinal ");
    if (!line.starts_with("  (") || ordinal == std::string::npos) return false;
    const size_t colon = line.find(": ", ordinal);
    if (colon == std::string::npos) return false;
    cell.Head = line.substr(0, colon + 2);
    const std::string body = line.substr(colon + 2);
    if (body == "(empty)" || body == "Value=None FmtValue=") {
        cell.Empty = true;
        return true;
    }
    const size_t formatted = body.find(" FmtValue=");
    if (!body.starts_with("Value=") || formatted == std::string::npos) return false;
    cell.Value = body.substr(6, formatted - 6);
    cell.Formatted = body.substr(formatted + 10);
    return true;
}

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

// "9.990" -> "9,990": a formatted value from a server that writes ',' as the decimal separator.
std::string SwapSeparators(std::string text) {
    for (char& c : text) c = c == ',' ? '.' : c == '.' ? ',' : c;
    return text;
}

class LineMatcher {
  public:
    explicit LineMatcher(const MdxCase& kase) : kase_(kase) {}

    bool operator()(const std::string& expected, const std::string& actual) const {
        if (expected == actual) return true;
        XmlaCell want, got;
        if (kase_.Form != MdxCaseForm::Xmla || !SplitXmlaCell(expected, want) ||
            !SplitXmlaCell(actual, got) || want.Head != got.Head || want.Empty != got.Empty)
            return false;
        if (want.Empty) return true;
        const std::string formatted =
            kase_.CommaDecimal ? SwapSeparators(want.Formatted) : want.Formatted;
        if (formatted != got.Formatted) return false;
        double a = 0, b = 0;
        if (!ParseNumber(want.Value, a) || !ParseNumber(got.Value, b))
            return want.Value == got.Value;
        return std::fabs(a - b) <= 1e-9 * std::max(std::fabs(a), std::fabs(b)) + 1e-12;
    }

  private:
    const MdxCase& kase_;
};

}  // namespace

std::vector<std::string> PrintCellSet(const CellSetData& data, MdxCaseForm form) {
    std::vector<std::string> lines;
    switch (form) {
        case MdxCaseForm::Traditional:
            PrintTraditional(data, lines);
            break;
        case MdxCaseForm::AxisOnly:
            PrintAxisOnly(data, lines);
            break;
        case MdxCaseForm::Xmla:
            PrintXmla(data, lines);
            break;
    }
    return lines;
}

CaseComparison CompareCase(const MdxCase& kase, const std::vector<std::string>& printed) {
    const std::vector<std::string>& expected = kase.Expected;
    // The case files' lines lose their trailing blanks when read ("Row #1: " of an empty cell).
    std::vector<std::string> actual = printed;
    for (std::string& line : actual) line.erase(line.find_last_not_of(" \t\r") + 1);
    const LineMatcher same(kase);
    const size_t n = expected.size(), m = actual.size();
    // Longest common subsequence, so that one missing row shows as one line, not as every line
    // after it. Results are small; a huge one (a runaway axis) is compared line against line.
    std::vector<std::pair<char, size_t>> script;  // ' ', '-', '+' with the line's index
    if (n * m <= 4'000'000) {
        std::vector<std::vector<unsigned>> common(n + 1, std::vector<unsigned>(m + 1, 0));
        for (size_t i = n; i-- > 0;)
            for (size_t j = m; j-- > 0;)
                common[i][j] = same(expected[i], actual[j])
                                   ? common[i + 1][j + 1] + 1
                                   : std::max(common[i + 1][j], common[i][j + 1]);
        size_t i = 0, j = 0;
        while (i < n || j < m) {
            if (i < n && j < m && same(expected[i], actual[j])) {
                script.push_back({' ', i++});
                ++j;
            } else if (i < n && (j == m || common[i + 1][j] >= common[i][j + 1])) {
                script.push_back({'-', i++});
            } else {
                script.push_back({'+', j++});
            }
        }
    } else {
        for (size_t k = 0; k < std::max(n, m); ++k) {
            if (k < n && k < m && same(expected[k], actual[k])) {
                script.push_back({' ', k});
                continue;
            }
            if (k < n) script.push_back({'-', k});
            if (k < m) script.push_back({'+', k});
        }
    }

    // A block of changed lines reads best as pairs: each expected line above the actual one.
    for (size_t k = 0; k < script.size();) {
        size_t end = k;
        while (end < script.size() && script[end].first != ' ') ++end;
        std::stable_partition(script.begin() + k, script.begin() + end,
                              [](const auto& step) { return step.first == '-'; });
        const size_t minuses =
            static_cast<size_t>(std::count_if(script.begin() + k, script.begin() + end,
                                              [](const auto& step) { return step.first == '-'; }));
        std::vector<std::pair<char, size_t>> paired;
        for (size_t a = k, b = k + minuses; a < k + minuses || b < end;) {
            if (a < k + minuses) paired.push_back(script[a++]);
            if (b < end) paired.push_back(script[b++]);
        }
        std::copy(paired.begin(), paired.end(), script.begin() + k);
        k = end == k ? k + 1 : end;
    }

    CaseComparison result;
    const auto text = [&](const std::pair<char, size_t>& step) -> const std::string& {
        return step.first == '+' ? actual[step.second] : expected[step.second];
    };
    // Show every differing line with two lines of context either side, up to a screenful.
    constexpr size_t Context = 2, MaxReportLines = 60;
    std::vector<bool> show(script.size(), false);
    for (size_t k = 0; k < script.size(); ++k) {
        if (script[k].first == ' ') continue;
        for (size_t c = k > Context ? k - Context : 0; c < script.size() && c <= k + Context; ++c)
            show[c] = true;
        if (!result.Same) continue;
        result.Same = false;
        result.FirstDifference = std::string(script[k].first == '-' ? "missing" : "unexpected") +
                                 " line " + std::to_string(script[k].second + 1) + ": \"" +
                                 text(script[k]) + "\"";
        // A changed line shows as a '-' next to a '+': name the other side too.
        if (k + 1 < script.size() && script[k + 1].first != ' ' &&
            script[k + 1].first != script[k].first)
            result.FirstDifference += (script[k].first == '-' ? ", got \"" : ", expected \"") +
                                      text(script[k + 1]) + "\"";
    }
    size_t reported = 0;
    for (size_t k = 0; k < script.size(); ++k) {
        if (!show[k]) continue;
        if (reported == MaxReportLines) {
            result.Report += "  ... (more differences)\n";
            break;
        }
        if (k > 0 && !show[k - 1] && reported > 0) result.Report += "  ...\n";
        result.Report += std::string(1, script[k].first) + " " + text(script[k]) + "\n";
        ++reported;
    }
    if (!result.Same)
        result.Report = "expected " + std::to_string(n) + " lines, got " + std::to_string(m) +
                        " ('-' expected only, '+' actual only):\n" + result.Report;
    return result;
}

}  // namespace orvik::test
