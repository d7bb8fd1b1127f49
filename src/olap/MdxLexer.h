// Splits MDX text into tokens: bracketed names (with "]]" for a "]"), bare words, numbers, string
// literals in double or single quotes, operators, and the three comment styles (--, //, /* */).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::mdx {

struct Token {
    enum class Kind { Word, BracketName, Number, String, Symbol, End };
    Kind What = Kind::End;
    std::string Text;  // the word, the name without brackets, the unquoted string, the symbol
    double Number = 0;
    size_t Position = 0;
};

// A query the grammar cannot read: the message names the line, the column and what was expected.
class MdxSyntaxError : public std::runtime_error {
  public:
    MdxSyntaxError(const std::string& message, size_t position)
        : std::runtime_error(message), Position(position) {}
    size_t Position;
};

// "line L, column C" for the byte offset `position` of `text`.
std::string DescribePosition(std::string_view text, size_t position);

// All tokens of `text`, ending with an End token. Throws MdxSyntaxError for an unterminated
// name, string or comment and for a character MDX has no use for.
std::vector<Token> Tokenize(std::string_view text);

}  // namespace orvik::mdx
