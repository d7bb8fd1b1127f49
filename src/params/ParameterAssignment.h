// Parameter values given from outside the report, as the command line's /prm key carries them:
// "Region=North;Day=~date(d-1)~". A ";" inside a date expression (between "~" marks) belongs to
// the expression, so "Day=~date(d-1;f=%d.%m.%Y)~" stays one assignment.
#pragma once

namespace orvik {
class Run;
}

#include <string>
#include <string_view>
#include <vector>

class CReport;

struct ParameterAssignment {
    std::string Name;   // trimmed of blanks
    std::string Value;  // as written; date expressions in it are worked out when it is used
    bool HasValue = false;
};

// The assignments of a text, in order.
std::vector<ParameterAssignment> ParseParameterAssignments(std::string_view text);

struct AppliedParameters {
    // Names that are no parameter of the report (an assignment without "=" counts as such).
    std::vector<std::string> Unknown;
    // Why a value was refused: a list parameter takes only what its list offers, a date
    // parameter only a date. The parameter keeps the value it had.
    std::vector<std::string> Refused;
};

// Sets the value of every named parameter of `report`.
AppliedParameters ApplyParameterAssignments(orvik::Run& run, std::string_view text);
// The same for assignments parsed already.
AppliedParameters ApplyParameterAssignments(orvik::Run& run,
                                            const std::vector<ParameterAssignment>& assignments);
