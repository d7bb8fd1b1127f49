#include "olap/MdxLexer.h"

#include <cctype>
#include <cstdlib>

namespace orvik::mdx {

std::string DescribePosition(std::string_view text, size_t position) {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < position && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

namespace {

bool IsWordStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c == '$' || c >= 0x80;
}

bool IsWordChar(unsigned char c) {
    return IsWordStart(c) || std::isdigit(c);
}

[[noreturn]] void Fail(std::string_view text, size_t position, const std::string& what) {
    throw MdxSyntaxError("MDX syntax error at " + DescribePosition(text, position) + ": " + what,
                         position);
}

}  // namespace

std::vector<Token> Tokenize(std::string_view text) {
    std::vector<Token> tokens;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isspace(c)) {
            ++i;
            continue;
        }
        if ((c == '-' && i + 1 < n && text[i + 1] == '-') ||
            (c == '/' && i + 1 < n && text[i + 1] == '/')) {
            while (i < n && text[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            const size_t end = text.find("*/", i + 2);
            if (end == std::string_view::npos) Fail(text, i, "the comment is never closed");
            i = end + 2;
            continue;
        }
        Token token;
        token.Position = i;
        if (c == '[') {
            std::string name;
            size_t j = i + 1;
            for (;; ++j) {
                if (j >= n) Fail(text, i, "the name '[' is never closed with ']'");
                if (text[j] == ']') {
                    if (j + 1 < n && text[j + 1] == ']') {
                        name += ']';
                        ++j;
                        continue;
                    }
                    break;
                }
                name += text[j];
            }
            token.What = Token::Kind::BracketName;
            token.Text = std::move(name);
            i = j + 1;
        } else if (c == '"' || c == '\'') {
            std::string value;
            size_t j = i + 1;
            for (;; ++j) {
                if (j >= n) Fail(text, i, "the string is never closed");
                if (static_cast<unsigned char>(text[j]) == c) {
                    if (j + 1 < n && static_cast<unsigned char>(text[j + 1]) == c) {
                        value += static_cast<char>(c);
                        ++j;
                        continue;
                    }
                    break;
                }
                value += text[j];
            }
            token.What = Token::Kind::String;
            token.Text = std::move(value);
            i = j + 1;
        } else if (std::isdigit(c) || (c == '.' && i + 1 < n &&
                                       std::isdigit(static_cast<unsigned char>(text[i + 1])))) {
            size_t j = i;
            while (j < n && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
            if (j < n && text[j] == '.' && j + 1 < n &&
                std::isdigit(static_cast<unsigned char>(text[j + 1]))) {
                ++j;
                while (j < n && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
            }
            if (j < n && (text[j] == 'e' || text[j] == 'E')) {
                size_t k = j + 1;
                if (k < n && (text[k] == '+' || text[k] == '-')) ++k;
                if (k < n && std::isdigit(static_cast<unsigned char>(text[k]))) {
                    while (k < n && std::isdigit(static_cast<unsigned char>(text[k]))) ++k;
                    j = k;
                }
            }
            token.What = Token::Kind::Number;
            token.Text = std::string(text.substr(i, j - i));
            token.Number = std::strtod(token.Text.c_str(), nullptr);
            i = j;
        } else if (IsWordStart(c)) {
            size_t j = i;
            while (j < n && IsWordChar(static_cast<unsigned char>(text[j]))) ++j;
            token.What = Token::Kind::Word;
            token.Text = std::string(text.substr(i, j - i));
            i = j;
        } else {
            static const char* const twoChar[] = {"<>", "<=", ">=", "||"};
            token.What = Token::Kind::Symbol;
            for (const char* symbol : twoChar) {
                if (text.substr(i, 2) == symbol) token.Text = symbol;
            }
            if (token.Text.empty()) {
                if (std::string_view("(){},.:;+-*/<>=&!^").find(static_cast<char>(c)) ==
                    std::string_view::npos)
                    Fail(text, i,
                         std::string("unexpected character '") + static_cast<char>(c) + "'");
                token.Text = std::string(1, static_cast<char>(c));
            }
            i += token.Text.size();
        }
        tokens.push_back(std::move(token));
    }
    Token end;
    end.Position = n;
    tokens.push_back(end);
    return tokens;
}

}  // namespace orvik::mdx
