// The substitution every outgoing text passes just before use (queries, connection strings,
// titles, mail fields, command lines): report parameters written as "`Name", date expressions
// between "~date(" and ")~", the program folder "~Dir~", program options "~Key~" and today's date
// for the markers "#Дата#", "#Период_начало#" and "#Период_конец#". Plug-ins call it by name, so
// the const char* form is part of the exported interface.
#pragma once

#include <string>
#include <string_view>

// The substituted copy of `text`; null gives "". Never fails: a broken date expression or an
// invalid date is reported by message and the text is returned as far as it could be worked out.
std::string DSetParam(const char* text);

// The same for the program's own callers, which hold their texts as strings.
std::string DSetParam(std::string_view text);
