// Reading a data source into categories and numeric series for the chart view.
#include "ChartData.h"

#include <charconv>
#include <cmath>

#include "orvik/PlugInApi.h"

namespace orvik_chart {

namespace {

// The text without the blanks numbers are grouped with: spaces, tabs, U+00A0 and U+202F (the
// last two where a plain space would let the number wrap).
std::string WithoutBlanks(std::string_view text) {
    std::string digits;
    digits.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == ' ' || c == '\t') continue;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xA0) {
            ++i;
            continue;
        }
        if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
            static_cast<unsigned char>(text[i + 2]) == 0xAF) {
            i += 2;
            continue;
        }
        digits.push_back(static_cast<char>(c));
    }
    return digits;
}

}  // namespace

std::optional<double> ParseCellNumber(std::string_view text) {
    const std::string digits = WithoutBlanks(text);
    if (digits.empty()) return std::nullopt;
    const char* begin = digits.data();
    // from_chars takes no plus sign; after one, a minus would be a second sign.
    if (*begin == '+' && digits.size() > 1 && digits[1] != '-') ++begin;
    double value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::general);
    if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

ChartData ReadChartData(COvInfoDS* source, int maxCategories) {
    ChartData data;
    if (!source) return data;
    const int rows = GetDSRowCount(source);
    const int columns = GetDSColCount(source);
    if (rows <= 0 || columns <= 0) return data;
    // Without a row-header column the first column still names the categories.
    int headerColumns = GetDSCol2Count(source);
    if (headerColumns < 1 || headerColumns >= columns) headerColumns = 1;
    data.TotalCategories = rows;
    const int drawn = rows < maxCategories ? rows : maxCategories;
    data.Categories.reserve(static_cast<size_t>(drawn));
    for (int r = 1; r <= drawn; ++r) {
        std::string name;
        for (int c = 0; c < headerColumns; ++c) {
            if (c > 0) name += " / ";
            name += GetDSTextRC(source, r, c);
        }
        data.Categories.push_back(std::move(name));
    }
    for (int c = headerColumns; c < columns; ++c) {
        ChartSeries series;
        series.Name = GetDSHeader(source, c);
        series.Values.reserve(static_cast<size_t>(drawn));
        bool numeric = true;
        bool any = false;
        // Every row decides whether the column is numeric, drawn or not: a total row of text
        // further down means the column is no series.
        for (int r = 1; r <= rows && numeric; ++r) {
            const std::string text = GetDSTextRC(source, r, c);
            std::optional<double> value = ParseCellNumber(text);
            if (!value && !WithoutBlanks(text).empty()) numeric = false;
            any = any || value.has_value();
            if (r <= drawn) series.Values.push_back(value);
        }
        if (numeric && any) {
            data.Series.push_back(std::move(series));
        } else {
            ++data.TextColumns;
        }
    }
    return data;
}

}  // namespace orvik_chart
