// A recursive-descent parser for the MDX SELECT statement: WITH MEMBER / WITH SET, axes with
// NON EMPTY and DIMENSION PROPERTIES, FROM, WHERE, and expressions with MDX's operator
// precedence. A failure is an MdxSyntaxError naming the line, the column, what was expected
// and what was found.
#pragma once

#include <string_view>

#include "olap/MdxAst.h"
#include "olap/MdxLexer.h"

namespace orvik::mdx {

// Parses one SELECT statement (a trailing ";" is allowed). Throws MdxSyntaxError.
SelectStatement ParseSelect(std::string_view text);

// Parses one expression, as a quoted formula holds it. Throws MdxSyntaxError.
ExprPtr ParseExpression(std::string_view text);

}  // namespace orvik::mdx
