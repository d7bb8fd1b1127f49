#include "PrintSettings.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace pdf {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

struct Unit {
    const char* Name;
    double PerInch;
};
constexpr Unit kUnits[] = {{"mm", 25.4}, {"cm", 2.54}, {"in", 1},
                           {"pt", 72},   {"px", 96},   {"", 25.4}};

// One length in inches; false when `text` is none.
bool ParseLength(std::string_view text, double& inches) {
    const std::string value(text);
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    if (end == value.c_str()) return false;
    const std::string_view unit = std::string_view(value).substr(end - value.c_str());
    for (const Unit& u : kUnits) {
        if (EqualsIgnoringCase(unit, u.Name)) {
            inches = number / u.PerInch;
            return true;
        }
    }
    return false;
}

void AppendEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                // Control characters from a value have no business in a page's margin.
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
        }
    }
}

// The renderer's placeholders for the running texts' fields.
struct Field {
    const char* Token;
    const char* Html;
};
constexpr Field kFields[] = {{"~Pages~", "<span class=\"totalPages\"></span>"},
                             {"~Page~", "<span class=\"pageNumber\"></span>"},
                             {"~Title~", "<span class=\"title\"></span>"}};

}  // namespace

const std::vector<Paper>& PaperSizes() {
    static const std::vector<Paper> kPapers = {{"A4", 210 / 25.4, 297 / 25.4},
                                               {"A3", 297 / 25.4, 420 / 25.4},
                                               {"Letter", 8.5, 11},
                                               {"Legal", 8.5, 14}};
    return kPapers;
}

bool ParsePaper(std::string_view name, Paper& out) {
    const std::string_view wanted = Trimmed(name);
    for (const Paper& paper : PaperSizes()) {
        if (EqualsIgnoringCase(wanted, paper.Name)) {
            out = paper;
            return true;
        }
    }
    return false;
}

bool ParseOrientation(std::string_view text, Orientation& out) {
    const std::string_view wanted = Trimmed(text);
    if (wanted.empty() || EqualsIgnoringCase(wanted, "auto"))
        out = Orientation::Auto;
    else if (EqualsIgnoringCase(wanted, "portrait"))
        out = Orientation::Portrait;
    else if (EqualsIgnoringCase(wanted, "landscape"))
        out = Orientation::Landscape;
    else
        return false;
    return true;
}

bool ParseMargins(std::string_view text, Margins& out) {
    std::vector<double> lengths;
    std::string_view rest = Trimmed(text);
    while (!rest.empty()) {
        const size_t end = rest.find_first_of(" \t,");
        double inches = 0;
        if (!ParseLength(rest.substr(0, end), inches) || inches < 0 || inches > 100 / 25.4)
            return false;
        lengths.push_back(inches);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        while (!rest.empty() &&
               (rest.front() == ' ' || rest.front() == '\t' || rest.front() == ','))
            rest.remove_prefix(1);
    }
    if (lengths.empty() || lengths.size() > 4) return false;
    // CSS's shorthand: one for all, top/bottom and sides, top, sides and bottom, or all four.
    out.Top = lengths[0];
    out.Right = lengths.size() >= 2 ? lengths[1] : lengths[0];
    out.Bottom = lengths.size() >= 3 ? lengths[2] : lengths[0];
    out.Left = lengths.size() == 4 ? lengths[3] : out.Right;
    return true;
}

std::string RunningTextTemplate(std::string_view text, const Margins& margins,
                                const std::function<std::string(const std::string&)>& substitute) {
    char style[200];
    // The renderer draws templates at a tiny default size and without the page's styles.
    std::snprintf(style, sizeof style,
                  "<div style=\"font-family:sans-serif;font-size:9px;color:#333;width:100%%;"
                  "text-align:center;margin:0 %.3fin 0 %.3fin\">",
                  margins.Left, margins.Right);
    std::string out = style;
    std::string literal;
    const auto flush = [&] {
        if (!literal.empty()) AppendEscaped(out, substitute(literal));
        literal.clear();
    };
    for (size_t i = 0; i < text.size();) {
        const Field* matched = nullptr;
        for (const Field& field : kFields) {
            if (text.substr(i).starts_with(field.Token)) {
                matched = &field;
                break;
            }
        }
        if (!matched) {
            literal += text[i++];
            continue;
        }
        flush();
        out += matched->Html;
        i += std::string_view(matched->Token).size();
    }
    flush();
    return out + "</div>";
}

}  // namespace pdf
