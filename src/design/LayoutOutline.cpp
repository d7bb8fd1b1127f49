#include "design/LayoutOutline.h"

#include "core/MarkupEscape.h"
#include "model/Report.h"
#include "render/HtmlDocument.h"

namespace orvik::design {
namespace {

bool IsPlaceholderId(const std::string& id) {
    for (const char* prefix : {"OrvikSheet", "OrvikParam"}) {
        const std::string start = prefix;
        if (id.size() > start.size() && id.compare(0, start.size(), start) == 0 &&
            id.find_first_not_of("0123456789", start.size()) == std::string::npos)
            return true;
    }
    return false;
}

}  // namespace

std::vector<LayoutNode> LayoutOutline(const std::string& html) {
    const CHtmlDocument document(html);
    std::vector<LayoutNode> nodes;
    std::vector<size_t> open;  // the ends of the elements the next one may lie in
    for (const CHtmlElement& element : document.ElementsByTagName("*")) {
        while (!open.empty() && element.Start >= open.back()) open.pop_back();
        LayoutNode node;
        node.Tag = element.Name;
        node.Id = document.GetAttribute(element, "id").value_or("");
        node.Offset = element.Start;
        node.Depth = static_cast<int>(open.size());
        node.Placeholder = IsPlaceholderId(node.Id);
        nodes.push_back(std::move(node));
        open.push_back(element.End);
    }
    return nodes;
}

std::vector<LayoutPlaceholder> LayoutPlaceholders(const CReport& report, const std::string& html) {
    const CHtmlDocument document(html);
    std::vector<LayoutPlaceholder> placeholders;
    const auto add = [&](std::string id, std::string caption) {
        const bool present = document.FindById(id).has_value();
        placeholders.push_back({std::move(id), std::move(caption), present});
    };
    for (size_t k = 0; k < report.Sheets.size(); ++k)
        add("OrvikSheet" + std::to_string(k), "Sheet " + report.Sheets[k]->Name.Value);
    for (size_t i = 0; i < report.Params.size(); ++i)
        add("OrvikParam" + std::to_string(i), "Parameter " + report.Params[i]->Name.Value);
    return placeholders;
}

std::string PlaceholderMarkup(const std::string& id) {
    return "<div id=\"" + EscapeMarkup(id) + "\"></div>";
}

std::string LayoutTemplate(const CReport& report) {
    std::string title = "Report";
    if (!report.CurrentDocPath.empty()) {
        title = report.CurrentDocPath.substr(report.CurrentDocPath.find_last_of('/') + 1);
        if (const size_t dot = title.rfind('.'); dot != std::string::npos) title.resize(dot);
    }
    std::string html = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" +
                       EscapeMarkup(title) +
                       "</title>\n<style>\nbody { font-family: sans-serif; margin: 24px; }\n"
                       ".params { margin-bottom: 16px; }\n</style>\n</head>\n<body>\n<h1>" +
                       EscapeMarkup(title) + "</h1>\n<div class=\"params\">\n";
    for (const LayoutPlaceholder& placeholder : LayoutPlaceholders(report, ""))
        if (placeholder.Id.rfind("OrvikParam", 0) == 0)
            html += PlaceholderMarkup(placeholder.Id) + "\n";
    html += "</div>\n";
    for (const LayoutPlaceholder& placeholder : LayoutPlaceholders(report, ""))
        if (placeholder.Id.rfind("OrvikSheet", 0) == 0)
            html += "<h2>" + EscapeMarkup(placeholder.Caption.substr(6)) + "</h2>\n" +
                    PlaceholderMarkup(placeholder.Id) + "\n";
    return html + "</body>\n</html>\n";
}

}  // namespace orvik::design
