// Drawing chart data as inline SVG for the report page: bars, lines or a pie, with axes, a legend
// and the sheet's title. Every text that came from data or properties is escaped, so no cell can
// become markup on the page.
#pragma once

#include <string>
#include <string_view>

#include "ChartData.h"

namespace orvik_chart {

enum class ChartKind { Bar, Line, Pie };

// How the chart looks: its kind, its size in pixels and the sheet's title, fonts and colours.
struct ChartStyle {
    ChartKind Kind = ChartKind::Bar;
    int Width = 640;
    int Height = 320;
    bool FillWidth = false;  // scaled to its container's width instead of drawn at Width
    std::string Title;
    std::string TitleFont = "Arial,100";  // "face,size in tenths of a point,style,..."
    std::string LabelFont = "Arial,90";
    std::string TitleBackground;  // "r,g,b" or "" for none
    std::string Background;       // "r,g,b" or "" for none
};

// The kind a ChartType value names; bars for anything else.
ChartKind ChartKindFromName(std::string_view name);

// `text` with & < > " ' written as references: safe in element content and attribute values.
std::string EscapeXml(std::string_view text);

// `text` cut to at most `maxChars` characters (UTF-8 sequences kept whole), "…" ending a cut one.
std::string Ellipsize(std::string_view text, size_t maxChars);

// The SVG element drawing `data`; a short note in place of the chart when there is nothing to
// draw (no rows, no numeric column).
std::string DrawChartSvg(const ChartData& data, const ChartStyle& style);

// An SVG element with the title and `note` in place of a chart.
std::string DrawChartNote(const ChartStyle& style, const std::string& note);

}  // namespace orvik_chart
