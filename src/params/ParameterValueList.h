// The value lists parameters offer: a fixed list from the parameter's elements, the tables,
// columns and distinct values of a data source, or a reference to another property of the
// report. Several values chosen at once travel as one text, "[a],[b],[c]", which substitution
// turns into an SQL list 'a','b','c'.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The elements of a "a;b;c" text in order; an empty element in the middle counts, a trailing ";"
// adds none.
std::vector<std::string> SplitComboElements(std::string_view elements);

// "[a],[b]" for the chosen entries a and b.
std::string EncodeMultiValue(const std::vector<std::string>& chosen);

// True when the multi-value text holds `entry` ("[entry]").
bool IsEntryTicked(std::string_view value, std::string_view entry);

// The query that lists a column's distinct values, with the filter condition when there is one.
// The column and table come quoted the way their database wants ("[region]", "\"region\"").
std::string DistinctValuesQuery(std::string_view quotedColumn, std::string_view quotedTable,
                                std::string_view condition);

class COvInfoPrm;
namespace orvik {
class Run;
}

// Checks a value given from outside (/prm) against what list parameter `prm` offers ("pcmb",
// "pcmbm", "DScmb"; a "DScmb" reads its data source's values), and a "date" parameter's value
// for being a date (see WhyNotADate). Returns why it is refused, or nothing when it is accepted;
// `chosen` is the value to set (a single entry given to a multi-choice list becomes "[entry]").
// Other parameters accept any value.
std::optional<std::string> ChooseListValue(orvik::Run& run, COvInfoPrm& prm, std::string_view value,
                                           std::string& chosen);

// What list parameter `prm` offers ("pcmb" and "pcmbm" their elements, "DScmb" its data source's
// distinct values), or nothing for a parameter that takes any value. Throws what reading a data
// source's values throws.
std::optional<std::vector<std::string>> OfferedValues(orvik::Run& run, COvInfoPrm& prm);

// Prepares what parameter `prm` offers without touching a database: the date editor, the property
// a reference parameter shows, the list of its own elements. (WraperParam does this and also reads
// the lists a data source gives.)
void BindParameterWithoutData(orvik::Run& run, COvInfoPrm& prm);
// Binds `prm` to what its type offers, reading a data source's values too; with `bShow` the
// property bar shows the lists as they fill.
void WraperParam(orvik::Run& run, COvInfoPrm& prm, bool bShow);

// Column lists longer than this are offered through the check-list chooser.
inline constexpr size_t kMaxPlainColumnList = 20;
