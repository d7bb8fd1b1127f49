// Cell format strings as cube schemas and MDX FORMAT_STRING write them: the named formats
// (Standard, Currency, Percent, Fixed) and patterns of #, 0, "," and "." with literal text,
// percent, and up to four sections separated by ";" (positive; negative; zero; empty). Numbers are
// written with en-US separators whatever the locale, as report readers expect cube numbers to
// look the same on every machine.
#pragma once

#include <string>

namespace orvik::cube {

// `value` written as `format` says; an empty format is "Standard".
std::string FormatNumber(double value, const std::string& format);

}  // namespace orvik::cube
