#include "olap/FormatString.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace orvik::cube {
namespace {

std::vector<std::string> Sections(const std::string& format) {
    std::vector<std::string> sections(1);
    bool quoted = false;
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '"') quoted = !quoted;
        if (c == '\\' && i + 1 < format.size()) {
            sections.back() += c;
            sections.back() += format[++i];
            continue;
        }
        if (c == ';' && !quoted) {
            sections.emplace_back();
            continue;
        }
        sections.back() += c;
    }
    return sections;
}

std::string Grouped(const std::string& digits) {
    std::string out;
    const size_t n = digits.size();
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// One section applied to a value that is not negative.
std::string Apply(double value, const std::string& section) {
    std::string prefix, suffix;
    std::string integerPattern, fractionPattern;
    bool inNumber = false, afterNumber = false, inFraction = false, percent = false;
    bool grouping = false;
    for (size_t i = 0; i < section.size(); ++i) {
        const char c = section[i];
        std::string literal;
        if (c == '"') {
            const size_t end = section.find('"', i + 1);
            literal =
                section.substr(i + 1, (end == std::string::npos ? section.size() : end) - i - 1);
            i = end == std::string::npos ? section.size() : end;
        } else if (c == '\\' && i + 1 < section.size()) {
            literal = std::string(1, section[++i]);
        } else if (!afterNumber &&
                   (c == '#' || c == '0' || (c == ',' && inNumber) || (c == '.' && !inFraction))) {
            inNumber = true;
            if (c == '.') {
                inFraction = true;
            } else if (c == ',') {
                grouping = true;
            } else if (inFraction) {
                fractionPattern += c;
            } else {
                integerPattern += c;
            }
            continue;
        } else {
            if (c == '%') percent = true;
            literal = std::string(1, c);
        }
        if (inNumber) afterNumber = true;
        (inNumber ? suffix : prefix) += literal;
    }
    if (percent) value *= 100;
    if (!inNumber) return prefix + suffix;

    size_t minInteger = 0, minFraction = 0;
    for (char c : integerPattern) minInteger += c == '0';
    for (char c : fractionPattern) minFraction += c == '0';
    const size_t maxFraction = fractionPattern.size();

    char buffer[512];
    // Round half away from zero at the last shown place, as the named formats always have. A
    // double is off in its 16th digit (1.005 is 1.00499999999999989, a sum of stored amounts
    // 676.25499999999988 for 676.255), so the value is nudged by a few units of that digit:
    // what a person would call half a cent rounds up, as it does in a spreadsheet.
    // A value already whole at that place is left as it is: past 10^14 the nudge itself is more
    // than half a unit and would add to it.
    const double scale = std::pow(10.0, static_cast<double>(maxFraction));
    const double scaled = value * scale;
    const double rounded =
        scaled == std::floor(scaled) ? value : std::round(scaled * (1 + 16 * DBL_EPSILON)) / scale;
    if (!std::isfinite(rounded) || rounded >= 1e300) {
        std::snprintf(buffer, sizeof buffer, "%g", value);
        return prefix + buffer + suffix;
    }
    std::snprintf(buffer, sizeof buffer, "%.*f", static_cast<int>(maxFraction), rounded);
    std::string text = buffer;
    std::string integer = text, fraction;
    const size_t dot = text.find('.');
    if (dot != std::string::npos) {
        integer = text.substr(0, dot);
        fraction = text.substr(dot + 1);
    }
    while (fraction.size() > minFraction && fraction.back() == '0') fraction.pop_back();
    if (integer == "0" && minInteger == 0) integer.clear();
    if (integer.size() < minInteger)
        integer = std::string(minInteger - integer.size(), '0') + integer;
    if (grouping) integer = Grouped(integer);
    std::string number = integer;
    if (!fraction.empty()) {
        number += '.';
        number += fraction;
    }
    if (number.empty()) number.push_back('0');
    std::string out = prefix;
    out += number;
    out += suffix;
    return out;
}

std::string Named(const std::string& format, double value) {
    if (format.empty() || format == "Standard" || format == "General Number")
        return value == std::floor(value) ? "#,##0" : "#,##0.00";
    if (format == "Currency") return "$#,##0.00";
    if (format == "Percent") return "0.00%";
    if (format == "Fixed") return "0.00";
    if (format == "Scientific") return "";
    return format;
}

}  // namespace

std::string FormatNumber(double value, const std::string& format) {
    if (std::isnan(value)) return value != value ? "NaN" : "";
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    if (value == 0) value = 0;  // a negative zero (a sum of -1 and 1) is written as zero
    if (format == "Scientific") {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.2E", value);
        return buffer;
    }
    // The default format of a whole number, most cells of a grid: grouped digits, nothing to
    // parse.
    if ((format.empty() || format == "Standard" || format == "General Number") &&
        value == std::floor(value) && std::fabs(value) < 1e18) {
        char digits[24];
        const auto end =
            std::to_chars(digits, digits + sizeof digits, static_cast<long long>(std::fabs(value)))
                .ptr;
        return (value < 0 ? "-" : "") + Grouped(std::string(digits, end));
    }
    const std::vector<std::string> sections = Sections(Named(format, value));
    if (value == 0 && sections.size() >= 3 && !sections[2].empty()) return Apply(0, sections[2]);
    if (value < 0) {
        if (sections.size() >= 2 && !sections[1].empty()) return Apply(-value, sections[1]);
        std::string text = Apply(-value, sections[0]);
        // A value that rounds to zero shows no sign.
        if (text.find_first_of("123456789") != std::string::npos) text.insert(text.begin(), '-');
        return text;
    }
    return Apply(value, sections[0]);
}

}  // namespace orvik::cube
