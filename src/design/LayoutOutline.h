// What the layout editor shows beside the layout's text: its elements as a tree (tag, id, where in
// the text), the placeholders of sheets and parameters marked; the placeholders the report offers
// with the markup that inserts one; and a simple layout to start from.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class CReport;

namespace orvik::design {

struct LayoutNode {
    std::string Tag;           // upper case, as the scanner names it
    std::string Id;            // "" when the element has none
    size_t Offset = 0;         // the "<" of its start tag in the layout's text
    int Depth = 0;             // 0 for the outermost elements
    bool Placeholder = false;  // its id is a sheet's or a parameter's ("OrvikSheet2")
};

// Every element of `html` in document order.
std::vector<LayoutNode> LayoutOutline(const std::string& html);

struct LayoutPlaceholder {
    std::string Id;        // "OrvikSheet0", "OrvikParam1"
    std::string Caption;   // "Sheet Revenue by region", "Parameter Region"
    bool Present = false;  // the layout has it already
};

// The placeholders `report` fills, sheets first, each marked when `html` has it.
std::vector<LayoutPlaceholder> LayoutPlaceholders(const CReport& report, const std::string& html);

// The markup a placeholder is inserted as.
std::string PlaceholderMarkup(const std::string& id);

// A plain layout with the report's title and every placeholder, for a report that has none.
std::string LayoutTemplate(const CReport& report);

}  // namespace orvik::design
