// How a parameter value is written into the text it is substituted into. A value comes from
// outside the report (the command line, a chooser, a database), so it must stay one value where
// it lands: one literal in a query, one word in a command, one line in a mail header, a name
// inside its folder. Each target follows the report author's text as it is written, so it knows
// whether a placeholder stands inside a quoted string, a bracketed name, a comment or bare code,
// and writes the value the way that spot needs. The author's own text is never changed.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orvik {

enum class SubstitutionTarget {
    Text,              // captions and everything else: values as they stand
    Sql,               // a query for a database
    Mdx,               // a query for a cube
    Shell,             // a command line for /bin/sh
    ConnectionString,  // "Key=Value;..." pairs
    MailHeader,        // one header line (the subject)
    FileName,          // a path or a ";"-list of paths
    Markup,            // HTML that reaches the page or a mail
};

// A value that cannot be placed where its placeholder stands without changing the shape of the
// text around it. The message names the parameter and says why.
class SubstitutionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Writes author text and values of one target, in order, into one output text.
class ValuePlacement {
  public:
    virtual ~ValuePlacement() = default;
    // Appends text the report's author wrote, following it to know where the next value lands.
    virtual void AppendAuthorText(std::string_view text, std::string& out) = 0;
    // Appends the value of parameter `name` as one value where the author's text stands.
    // Throws SubstitutionError when that cannot be done.
    virtual void AppendValue(std::string_view name, std::string_view value, std::string& out) = 0;
};

struct PlacementOptions {
    SubstitutionTarget Target = SubstitutionTarget::Text;
    // The database reads a backslash inside a string as an escape (MySQL, MariaDB).
    bool SqlBackslashEscapes = false;
};

std::unique_ptr<ValuePlacement> MakeValuePlacement(const PlacementOptions& options);

// The items of a chooser's multi-value text "[a],[b],[c]" (blanks allowed after the commas), or
// nothing when `value` has not that form.
std::optional<std::vector<std::string_view>> SplitMultiValue(std::string_view value);

// `value` with every "[" and "]" turned into "'": how plain substitution writes a chosen value.
std::string BracketsToQuotes(std::string_view value);

// True for a plain decimal number: optional sign, digits with an optional fraction, an optional
// exponent.
bool IsPlainNumber(std::string_view value);

// The error for a value `name` that cannot stand where its placeholder is, for `why`.
[[noreturn]] void RefuseValue(std::string_view name, std::string_view target, std::string_view why);

// The placements of each target family (one file each).
std::unique_ptr<ValuePlacement> MakeSqlPlacement(bool backslashEscapes);
std::unique_ptr<ValuePlacement> MakeMdxPlacement();
std::unique_ptr<ValuePlacement> MakeShellPlacement();
std::unique_ptr<ValuePlacement> MakeConnectionStringPlacement();
std::unique_ptr<ValuePlacement> MakeLinePlacement(SubstitutionTarget target);

}  // namespace orvik
