// How a PDF step lays out its pages, read from the step's properties: paper, orientation,
// margins, running header and footer, fitting wide sheets to the width. Every value comes from a
// report file and may be anything: what cannot be read is refused with a message naming the
// property and what it accepts, rather than guessed.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pdf {

enum class Orientation { Portrait, Landscape, Auto };

struct Paper {
    const char* Name;
    double WidthInches;  // portrait
    double HeightInches;
};

// The paper sizes a step may name, in the order the property's list shows them.
const std::vector<Paper>& PaperSizes();

struct Margins {
    double Top = 0, Right = 0, Bottom = 0, Left = 0;  // inches
};

struct PrintSettings {
    Paper PaperSize{"A4", 8.27, 11.69};
    Orientation Turn = Orientation::Auto;
    Margins Edges;
    std::string HeaderTemplate;  // "" for none; HTML the renderer fills page numbers into
    std::string FooterTemplate;
    bool FitWidth = true;
    // Structure tags for screen readers; they about double the renderer's time on a long sheet.
    bool Tagged = true;
};

// Reads the paper size `name` (case ignored); false when there is no such paper.
bool ParsePaper(std::string_view name, Paper& out);
// Reads an orientation: portrait, landscape or auto (case ignored; "" is auto).
bool ParseOrientation(std::string_view text, Orientation& out);
// Reads margins as CSS writes them: one to four lengths (top, right, bottom, left) in mm, cm, in,
// pt or px, a bare number being millimetres. False when the text is not that or a margin is
// negative or larger than 100 mm.
bool ParseMargins(std::string_view text, Margins& out);

// Turns a header or footer text into the renderer's template: ~Page~ and ~Pages~ become the page
// number and count, ~Title~ the page's title, and the rest goes through `substitute` (parameter
// values and date expressions) and is escaped, so a value is always shown as text. The template
// is indented by the side margins.
std::string RunningTextTemplate(std::string_view text, const Margins& margins,
                                const std::function<std::string(const std::string&)>& substitute);

}  // namespace pdf
