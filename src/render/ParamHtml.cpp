// A parameter's panel on the report page: one row, the title in a label cell and the current
// value in a value cell, each with the parameter's own colours and font. Texts are written as
// markup, without escaping, as the page has always had them (a layout may rely on markup in a
// title); only what could run is taken out, since a value may come from a command line or a list
// filled from a database.
#include "render/ParamHtml.h"

#include <string>

#include <cstdlib>
#include <vector>

#include "core/MarkupSanitizer.h"
#include "model/OvInfoPrm.h"
#include "model/Report.h"
#include "params/ValuePlacement.h"
#include "render/HtmlColours.h"

namespace {

bool IsTrue(const COvInfoProp* prop) {
    return prop && std::atoi(prop->Value.c_str()) != 0;
}

std::string CellStyle(const std::string& fontCss, const std::string& colour, bool gradient) {
    return "style='" + fontCss + " " + BackgroundCss(ColourTextToHex(colour), gradient) + "'";
}

// A chooser's several values "[North],[South]" read "North, South" to a person: the brackets
// are how the value travels to the queries, not what was chosen. Only list parameters store
// values that way; a text parameter shows whatever was typed.
std::string ShownValue(const COvInfoPrm& prm, const std::string& value) {
    const std::string& type = prm.Type.Value;
    if (type != "pcmbm" && type != "DScmb") return value;
    const auto items = orvik::SplitMultiValue(value);
    if (!items) return value;
    std::string shown;
    for (const std::string_view item : *items) {
        if (!shown.empty()) shown += ", ";
        shown += item;
    }
    return shown;
}

// "North[1],South[2]" -> "North, South": member lists keep their captions, not their keys.
std::string CleanMemberList(const std::string& text) {
    if (text.find(']', 1) == std::string::npos) return text;
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1) {
        pieces.push_back(text.substr(start, comma - start));
    }
    pieces.push_back(text.substr(start));
    std::string cleaned;
    for (size_t i = 0; i < pieces.size(); ++i) {
        // The key is cut off before the separator goes on, or the cut would take the separator
        // with it and run the captions together.
        std::string piece = pieces[i];
        const size_t bracket = piece.rfind('[');
        if (bracket != std::string::npos && bracket > 0) piece.erase(bracket);
        if (i + 1 < pieces.size()) piece += ", ";
        cleaned += piece;
    }
    return cleaned;
}

}  // namespace

void MakeParamHTML(const CReport& report, const COvInfoPrm& prm, std::string& out) {
    int number = 0;
    const auto& params = report.Params;
    for (size_t i = 0; i < params.size(); ++i) {
        if (params[i].get() == &prm) number = static_cast<int>(i);
    }
    const COvInfoProp* border = prm.GetPropByName("pTB");
    const std::string borderText =
        border && !IsTrue(border) ? "border=0 cellspacing=0 cellpadding=5 " : "border=1";
    const COvInfoProp* font = prm.GetPropByName("pF");
    const auto logical = LogicalFontFromText(font ? font->Value : "");
    const std::string fontCss = logical ? FontToCss(*logical) : "";
    const bool gradient = IsTrue(prm.GetPropByName("pGC"));
    const COvInfoProp* labelColour = prm.GetPropByName("pBC1");
    const COvInfoProp* valueColour = prm.GetPropByName("pBC2");

    out += "<TABLE id=OrvikParam" + std::to_string(number) + " " + borderText + ">\n<TR>";
    const std::string& label = prm.Tit.Value.empty() ? prm.Name.Value : prm.Tit.Value;
    out += "<TD " + CellStyle(fontCss, labelColour ? labelColour->Value : "", gradient) + ">";
    orvik::AppendSanitizedMarkup(out, label);
    out += "</TD>";

    std::string value = ShownValue(prm, prm.PrmVal.Value);
    if (prm.PrmVal.Kind == PropKind::Reference && prm.PrmVal.SelectedCombo) {
        const auto* referenced = static_cast<const COvInfoProp*>(prm.PrmVal.SelectedCombo);
        value = referenced->Value;
        if (!referenced->DefaultValue.empty()) {
            value += " :: " + CleanMemberList(referenced->DefaultValue);
        }
    }
    out += "<TD " + CellStyle(fontCss, valueColour ? valueColour->Value : "", gradient) + ">";
    orvik::AppendSanitizedMarkup(out, value);
    out += "</TD></TR></TABLE>\n";
}
