// A recursive-descent parser for the MDX SELECT statement: WITH MEMBER / WITH SET, axes with
// NON EMPTY and DIMENSION PROPERTIES, FROM, WHERE, and expressions with MDX's operator
// precedence. A failure is an MdxSyntaxError naming the line, the column, what was expected
// and what was found. Expressions nest at most kMaxMdxNesting levels deep, so that neither this
// parser nor anything that walks the tree afterwards can run out of stack on hostile text.
#pragma once

#include <string_view>

#include "olap/MdxAst.h"
#include "olap/MdxLexer.h"

namespace orvik::mdx {

// How deeply expressions may nest: parentheses, braces, function arguments, operators and chains
// of them ("1+1+...", ".Parent.Parent..." count one level per operator). Hand-written queries stay
// far below it. A level costs the parser about 7 KiB of stack in a sanitizer build (under 1 KiB
// otherwise), so the limit leaves most of even a 2 MiB thread stack free.
inline constexpr int kMaxMdxNesting = 128;

// Parses one SELECT statement (a trailing ";" is allowed). Throws MdxSyntaxError.
SelectStatement ParseSelect(std::string_view text);

// Parses one expression, as a quoted formula holds it. Throws MdxSyntaxError.
ExprPtr ParseExpression(std::string_view text);

}  // namespace orvik::mdx
