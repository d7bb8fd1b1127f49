// The substitution every outgoing text passes just before use (queries, connection strings,
// titles, mail fields, command lines): report parameters written as "`Name", date expressions
// between "~date(" and ")~", the program folder "~Dir~", program options "~Key~" and today's date
// for the markers "#Дата#", "#Период_начало#" and "#Период_конец#". (Plug-ins reach it through
// DSetParam(const char*) of their interface.)
//
// A parameter value is written for the text's target (see ValuePlacement.h): quoted in a query,
// one word in a command, one line in a header. A report whose PlainParams is "1" gets the values
// as they stand everywhere, which is logged once.
#pragma once

#include <string>
#include <string_view>

#include "params/ValuePlacement.h"

namespace orvik {
class Run;
}

// The substituted copy of `text` with values as they stand (the Text target). Never fails: a
// broken date expression or an invalid date is told to the run's front end and the text is
// returned as far as it could be worked out.
std::string DSetParam(orvik::Run& run, std::string_view text);

// The substituted copy of `text` for its target. Throws orvik::SubstitutionError when a value
// cannot stand where its placeholder is without changing the text's shape, and, for every target
// but Text, when a date expression cannot be worked out (no ")~", one inside another, a date that
// does not exist), with the message the Text target shows for it.
std::string DSetParam(orvik::Run& run, std::string_view text,
                      const orvik::PlacementOptions& options);
inline std::string DSetParam(orvik::Run& run, std::string_view text,
                             orvik::SubstitutionTarget target) {
    return DSetParam(run, text, orvik::PlacementOptions{target});
}
