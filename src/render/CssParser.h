// Finds the rules of a style sheet and the declarations of a rule or a style attribute, as
// offsets into the text, so that one value can be replaced without rewriting the rest.
//
// It follows the CSS syntax as far as it decides where things end: comments, strings, nested
// brackets, at-rules skipped whole, and the "<!--" and "-->" that old pages wrap their style
// sheets in. A block that is never closed runs to the end of the text, as in a browser.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A rule "prelude { block }", as offsets into the sheet text.
struct CCssRule {
    std::size_t PreludeStart = 0;
    std::size_t PreludeEnd = 0;  // the "{"
    std::size_t BlockStart = 0;  // just past the "{"
    std::size_t BlockEnd = 0;    // the closing "}", or the end of the text
    bool Closed = false;         // false when the text ends inside the block
};

// A declaration "name: value", as offsets into the block text.
struct CCssDeclaration {
    std::size_t NameStart = 0;
    std::size_t NameEnd = 0;
    std::size_t ValueStart = 0;  // just past the ":"
    std::size_t ValueEnd = 0;    // the ";" or the end of the block
};

class CCssParser {
  public:
    // The ordinary rules of the sheet in order; at-rules (and the rules inside them) are left out.
    static std::vector<CCssRule> Rules(std::string_view sheet);
    // The declarations of a block in order; pieces without a name and ":" are left out.
    static std::vector<CCssDeclaration> Declarations(std::string_view block);
    // The selector text with comments dropped, runs of blanks made one blank and ASCII letters in
    // upper case, for comparing selectors as a quirks-mode page does.
    static std::string NormalizeSelector(std::string_view selector);
    // True when the text can stand as a declaration's value without changing what surrounds it:
    // strings, comments and brackets closed, no ";" outside them, no "{" or "}", no "</".
    static bool IsSelfContainedValue(std::string_view value);
    // True when the text can stand as a rule's selector: not empty, closed like a value, no ";".
    static bool IsSelfContainedSelector(std::string_view selector);
    // True when the text is a property name: letters, digits, "-" and "_" only.
    static bool IsPropertyName(std::string_view name);
};
