#include "params/ParameterAssignment.h"

#include "core/Run.h"

#include "core/LogText.h"
#include "core/TextEncoding.h"
#include "model/Report.h"
#include "params/ParameterValueList.h"

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

AppliedParameters ApplyParameterAssignments(orvik::Run& run, std::string_view text) {
    return ApplyParameterAssignments(run, ParseParameterAssignments(text));
}

AppliedParameters ApplyParameterAssignments(orvik::Run& run,
                                            const std::vector<ParameterAssignment>& assignments) {
    CReport& report = run.Report();
    AppliedParameters applied;
    for (const ParameterAssignment& assignment : assignments) {
        bool found = false;
        for (const auto& prm : report.Params) {
            if (!assignment.HasValue || prm->Name.Value != assignment.Name) continue;
            found = true;
            std::string chosen;
            if (const auto why = ChooseListValue(run, *prm, assignment.Value, chosen)) {
                applied.Refused.push_back(
                    "The value '" + orvik::EscapeForLog(assignment.Value) + "' of parameter '" +
                    orvik::EscapeForLog(assignment.Name) + "' is refused: " + *why);
                continue;
            }
            prm->PrmVal.Value = std::move(chosen);
        }
        if (!found) applied.Unknown.push_back(assignment.Name);
    }
    return applied;
}
