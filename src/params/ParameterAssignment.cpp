#include "params/ParameterAssignment.h"

#include "core/TextEncoding.h"
#include "model/Report.h"

std::vector<ParameterAssignment> ParseParameterAssignments(std::string_view text) {
    std::vector<ParameterAssignment> assignments;
    bool inExpression = false;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] == '~') inExpression = !inExpression;
        if (i < text.size() && (text[i] != ';' || inExpression)) continue;
        const std::string_view piece = text.substr(start, i - start);
        start = i + 1;
        if (orvik::Trim(piece).empty()) continue;
        const size_t equals = piece.find('=');
        if (equals == std::string_view::npos) {
            assignments.push_back({std::string(orvik::Trim(piece)), {}, false});
        } else {
            assignments.push_back({std::string(orvik::Trim(piece.substr(0, equals))),
                                   std::string(piece.substr(equals + 1)), true});
        }
    }
    return assignments;
}

std::vector<std::string> ApplyParameterAssignments(CReport& report, std::string_view text) {
    std::vector<std::string> unknown;
    for (const ParameterAssignment& assignment : ParseParameterAssignments(text)) {
        bool found = false;
        for (const auto& prm : report.Params) {
            if (assignment.HasValue && prm->Name.Value == assignment.Name) {
                prm->PrmVal.Value = assignment.Value;
                found = true;
            }
        }
        if (!found) unknown.push_back(assignment.Name);
    }
    return unknown;
}
