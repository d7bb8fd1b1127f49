// The syntax tree of an MDX statement. Expressions are one node type with a kind: MDX decides
// whether `[Store].[USA]` is a member, a set of one or a value only from where it is used, so the
// evaluator, not the parser, gives each node its meaning. Every node remembers where it started,
// so an error found while evaluating can still point into the query.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvik::mdx {

// One part of a name: `[Unit Sales]`, `Measures`, or a key `&[9]`.
struct NameSegment {
    std::string Name;
    bool IsKey = false;
    bool Quoted = false;  // written in brackets
    bool operator==(const NameSegment&) const = default;
};

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct CaseBranch;

struct Expr {
    enum class Kind {
        Name,      // a compound name: Segments
        Number,    // Number
        String,    // Text
        Call,      // a function Text(Args...); IsMethod when written `Args[0].Text(...)`
        Operator,  // an infix or prefix operator Text ("+", "AND", "NOT", "u-", ...) on Args
        Braces,    // {Args...}: a set
        Tuple,     // (Args...) with two or more, or one in parentheses
        Case,      // CASE [Args[0]] WHEN ... THEN ... [ELSE Else] END
        Empty,     // an omitted argument
    };

    Kind What = Kind::Empty;
    std::vector<NameSegment> Segments;
    double Number = 0;
    std::string Text;
    bool IsMethod = false;
    bool HasParens = false;  // a method written with "()" (or a function with arguments)
    std::vector<ExprPtr> Args;
    std::vector<std::pair<ExprPtr, ExprPtr>> Whens;  // Case: WHEN first THEN second
    ExprPtr Else;
    size_t Position = 0;  // offset into the query text
    int Height = 1;       // levels of nodes from this one down to its deepest leaf

    // The expression written back as MDX (for messages and tests).
    std::string ToString() const;

  private:
    // `operand` written as an operand of this binary operator.
    std::string Operand(const Expr& operand) const;
};

// Joins name segments as MDX writes them: [A].[B].&[k].
std::string SegmentsToString(const std::vector<NameSegment>& segments);

struct FormulaDefinition {
    std::vector<NameSegment> Name;
    ExprPtr Formula;
    std::vector<std::pair<std::string, ExprPtr>> Properties;  // FORMAT_STRING, SOLVE_ORDER, ...
    bool IsSet = false;
    size_t Position = 0;
};

struct AxisSpec {
    ExprPtr Set;
    bool NonEmpty = false;
    int Ordinal = 0;                                   // 0 columns, 1 rows, 2 pages, ...
    std::vector<std::vector<NameSegment>> Properties;  // DIMENSION PROPERTIES, kept as written
    size_t Position = 0;
};

struct SelectStatement {
    std::vector<FormulaDefinition> With;
    std::vector<AxisSpec> Axes;  // in the order written
    std::vector<NameSegment> Cube;
    ExprPtr Where;  // null without WHERE
};

}  // namespace orvik::mdx
