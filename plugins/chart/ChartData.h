// What a chart draws, read from a sheet's data source: the categories (the row-header columns of
// each row) and the series (the columns after them whose every non-empty cell is a number). The
// reading is kept apart from the drawing so the drawing never touches the data source.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class COvInfoDS;

namespace orvik_chart {

// One numeric column: its header and its value in each drawn category (nullopt when empty).
struct ChartSeries {
    std::string Name;
    std::vector<std::optional<double>> Values;
};

// The chart's data, with at most the cap's number of categories.
struct ChartData {
    std::vector<std::string> Categories;
    std::vector<ChartSeries> Series;
    int TotalCategories = 0;  // the data source's rows, drawn or not
    int TextColumns = 0;      // columns after the row headers that are not numbers
};

// The number a cell's text stands for: grouping spaces and non-breaking spaces are ignored, the
// rest must be one finite decimal number ("1 234.5", "-7", "3e4"); nullopt otherwise.
std::optional<double> ParseCellNumber(std::string_view text);

// Reads `source` (rows from 1, row-header columns first), keeping the first `maxCategories` rows.
// A null source or one without a result gives empty data.
ChartData ReadChartData(COvInfoDS* source, int maxCategories);

}  // namespace orvik_chart
