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

// One section of a format, read once: the literal text around the number and the number's shape.
struct Pattern {
    std::string Prefix, Suffix;
    bool Empty = true;  // the section is no text at all
    bool Number = false, Grouping = false, Percent = false;
    size_t MinInteger = 0, MinFraction = 0, MaxFraction = 0;
};

Pattern ReadPattern(const std::string& section) {
    Pattern pattern;
    pattern.Empty = section.empty();
    std::string integerPattern, fractionPattern;
    bool afterNumber = false, inFraction = false;
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
        } else if (!afterNumber && (c == '#' || c == '0' || (c == ',' && pattern.Number) ||
                                    (c == '.' && !inFraction))) {
            pattern.Number = true;
            if (c == '.') {
                inFraction = true;
            } else if (c == ',') {
                pattern.Grouping = true;
            } else if (inFraction) {
                fractionPattern += c;
            } else {
                integerPattern += c;
            }
            continue;
        } else {
            if (c == '%') pattern.Percent = true;
            literal = std::string(1, c);
        }
        if (pattern.Number) afterNumber = true;
        (pattern.Number ? pattern.Suffix : pattern.Prefix) += literal;
    }
    for (char c : integerPattern) pattern.MinInteger += c == '0';
    for (char c : fractionPattern) pattern.MinFraction += c == '0';
    pattern.MaxFraction = fractionPattern.size();
    return pattern;
}

// One section applied to a value that is not negative.
std::string Apply(double value, const Pattern& pattern) {
    const std::string& prefix = pattern.Prefix;
    const std::string& suffix = pattern.Suffix;
    if (pattern.Percent) value *= 100;
    if (!pattern.Number) return prefix + suffix;
    const size_t minInteger = pattern.MinInteger, minFraction = pattern.MinFraction;
    const size_t maxFraction = pattern.MaxFraction;
    const bool grouping = pattern.Grouping;

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

// The sections of the format last used on this thread, read: a grid applies one format to
// thousands of cells in a row.
const std::vector<Pattern>& PatternsOf(const std::string& format) {
    thread_local std::string lastFormat;
    thread_local std::vector<Pattern> lastPatterns;
    if (lastPatterns.empty() || format != lastFormat) {
        lastPatterns.clear();
        for (const std::string& section : Sections(format))
            lastPatterns.push_back(ReadPattern(section));
        lastFormat = format;
    }
    return lastPatterns;
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
    const std::vector<Pattern>& sections = PatternsOf(Named(format, value));
    if (value == 0 && sections.size() >= 3 && !sections[2].Empty) return Apply(0, sections[2]);
    if (value < 0) {
        if (sections.size() >= 2 && !sections[1].Empty) return Apply(-value, sections[1]);
        std::string text = Apply(-value, sections[0]);
        // A value that rounds to zero shows no sign.
        if (text.find_first_of("123456789") != std::string::npos) text.insert(text.begin(), '-');
        return text;
    }
    return Apply(value, sections[0]);
}

}  // namespace orvik::cube
