// What a grid cell's text becomes in a workbook, and what a sheet's name becomes as a worksheet's
// name. The page shows numbers grouped with blanks ("1 234.50", the blank possibly non-breaking)
// and cubes group them with commas; a workbook wants the number itself with a format that shows
// it the same way. Anything that is not plainly such a number stays the text the page shows, so
// codes with leading zeros, long account numbers and dates are never changed.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace xlsx {

// A cell text read as a number.
struct ShownNumber {
    double Value = 0;
    bool Grouped = false;  // the text grouped its digits by thousands
    int Decimals = 0;      // digits after the point
};

// Reads `text` as a number the way the page spells one: an optional "-", the integer part (no
// leading zero unless it is "0" alone; optionally grouped by thousands with blanks, non-breaking
// blanks or commas), then optionally "." and at most 30 digits. False for anything else ("07",
// "+7", " 7", "1e5", "1,5"), and for a number with more significant digits than a double keeps
// (it would not read back as shown).
bool ReadShownNumber(std::string_view text, ShownNumber& number);

// The number format that shows `number` as the text did: "#,##0.00" for "1 234.50", "0" for "17".
std::string NumberFormatFor(const ShownNumber& number);

// `text` as valid UTF-8: each byte that is not part of a well-formed sequence becomes U+FFFD.
std::string ValidUtf8(std::string_view text);

// How many characters `text` (valid UTF-8) shows.
size_t CharacterCount(std::string_view text);

// `text` cut to at most `bytes` bytes without splitting a character.
std::string_view CutUtf8(std::string_view text, size_t bytes);

// A worksheet name for a sheet called `name` that the workbook takes and that differs from every
// name in `taken` (compared as the workbook compares them, ignoring the case of Latin, Greek and
// Cyrillic letters), which it is added to: the characters []:*?/\ and
// control characters become "_", leading and trailing apostrophes go, an empty name becomes
// "Sheet", at most 31 characters, and a clash gets " (2)", " (3)", ... within that length.
std::string UniqueSheetName(std::string_view name, std::set<std::string>& taken);

}  // namespace xlsx
