// Parameter values given from outside the report, as the command line's /prm key carries them:
// "Region=North;Day=~date(d-1)~". A ";" inside a date expression (between "~" marks) belongs to
// the expression, so "Day=~date(d-1;f=%d.%m.%Y)~" stays one assignment.
#pragma once

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

// Sets the value of every named parameter of `report`; returns the names that are no parameter of
// the report (an assignment without "=" counts as such a name).
std::vector<std::string> ApplyParameterAssignments(CReport& report, std::string_view text);
