// Follows SQL text character by character to know what each character is part of: code, a
// string, a quoted name, a comment. Parameter values are placed by it, and a query's statements
// are split only at the ";" that ends one, never at one inside a string.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvik {

enum class SqlSpot {
    Code,
    String,        // '...' (and E'...' or every string where backslashes escape)
    QuotedName,    // "..."
    BracketName,   // [...] as SQL Server and SQLite write a name; an array index elsewhere
    LineComment,   // -- to the end of the line
    BlockComment,  // /* ... */
    DollarString,  // $tag$ ... $tag$
};

class SqlScanner {
  public:
    // `backslashEscapes`: every string reads a backslash as an escape (MySQL, MariaDB).
    explicit SqlScanner(bool backslashEscapes = false) : backslashEscapes_(backslashEscapes) {}

    // Follows one character; returns true when it is code (outside every string, name and
    // comment), as the ";" that ends a statement is.
    bool Feed(char c);
    void Feed(std::string_view text) {
        for (char c : text) Feed(c);
    }

    // Where the next character lands. A closing quote that could still be the first of a doubled
    // pair counts as closing: whatever comes next that is not a quote stands after the string.
    SqlSpot Spot() const;
    // True when the database reads backslashes in every string as escapes.
    bool BackslashDialect() const { return backslashEscapes_; }
    // True inside a string whose backslashes escape.
    bool BackslashEscapes() const { return stringEscapes_; }
    // True right after such a backslash: the next character is taken as it is.
    bool EscapePending() const { return state_ == State::StringEscape; }
    // The last character followed or placed; 0 at the start.
    char Previous() const { return previous_; }
    const std::string& DollarTag() const { return tag_; }

    // Notes that `text` was put at the current spot as one value, which leaves the spot as it is
    // (a string stays open, code stays code).
    void Placed(std::string_view text);

  private:
    enum class State {
        Code,
        String,
        StringEscape,
        StringQuote,  // a quote inside a string: closing, or the first of ''
        QuotedName,
        QuotedNameQuote,
        BracketName,
        BracketNameClose,
        LineComment,
        BlockComment,
        DollarTagOpen,
        DollarString,
    };
    bool FeedCode(char c);

    bool backslashEscapes_;
    bool stringEscapes_ = false;
    State state_ = State::Code;
    char previous_ = 0;
    char beforePrevious_ = 0;
    std::string tag_;     // the tag of the dollar string, "$tag$"
    std::string recent_;  // the last characters of a dollar string, to see its closing tag
};

// The statements of `text` separated by the ";" that stand in code, each as written (blank ones
// included; the caller skips them).
std::vector<std::string> SplitSqlStatements(std::string_view text, bool backslashEscapes = false);

// True for a character that can continue a name in SQL or a shell word.
inline bool IsNameCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || c == '_' ||
           c == '$' || u >= 0x80;
}

}  // namespace orvik
