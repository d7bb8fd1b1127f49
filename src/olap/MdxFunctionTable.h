// The MDX functions the evaluator knows, in one table looked up by name without regard to case.
// An entry says what the function gives (a set, a member, a value, a level or a hierarchy), how
// it may be written (Crossjoin(a, b), a.Children, or either way), how many arguments it takes, and
// the body that evaluates it. The bodies live with their family (MdxSetFunctions.cpp,
// MdxMemberFunctions.cpp, ...); the table is put together from the families once, on first use,
// and only read after that, so queries running at the same time on several threads share it.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "olap/CellFetcher.h"
#include "olap/MdxAst.h"

namespace orvik::cube {

class QueryEvaluator;
struct MdxValue;

// In the order of MdxFunction::Body's alternatives.
enum class MdxFunctionKind { Set, Member, Value, Level, Hierarchy };

// How a call may be written. A method's object is its first argument: [Store].Children has one.
enum class MdxCallForm { Function, Method, Either };

// A maximum that is no limit: Crossjoin joins any number of sets.
inline constexpr size_t kAnyArgumentCount = std::numeric_limits<size_t>::max();

struct MdxFunction {
    using SetBody = TupleList (*)(QueryEvaluator&, const mdx::Expr& call);
    using MemberBody = Member* (*)(QueryEvaluator&, const mdx::Expr& call);
    using ValueBody = MdxValue (*)(QueryEvaluator&, const mdx::Expr& call);
    using LevelBody = Level* (*)(QueryEvaluator&, const mdx::Expr& call);
    using HierarchyBody = Hierarchy* (*)(QueryEvaluator&, const mdx::Expr& call);
    using Body = std::variant<SetBody, MemberBody, ValueBody, LevelBody, HierarchyBody>;

    std::string_view Name;  // as MDX documents write it
    MdxCallForm Form = MdxCallForm::Either;
    size_t MinArguments = 0;
    size_t MaxArguments = 0;
    Body Evaluate;

    MdxFunctionKind Kind() const { return static_cast<MdxFunctionKind>(Evaluate.index()); }
    // True when the function may be written as `call` is: as a method or as a function.
    bool TakesFormOf(const mdx::Expr& call) const;
};

class MdxFunctionTable {
  public:
    // The function called `name`, in any case; null for none.
    static const MdxFunction* Find(std::string_view name);
    // The function `call` names, when it may be written the way `call` is; null otherwise.
    static const MdxFunction* Find(const mdx::Expr& call);
    // Every function, ordered by name without regard to case.
    static std::span<const MdxFunction> All();
    // What is wrong with the number of arguments `call` passes to `function`, naming the
    // function as written; nothing when the count is right.
    static std::optional<std::string> ArityProblem(const MdxFunction& function,
                                                   const mdx::Expr& call);

  private:
    // The families' entries, sorted; the evaluator lets only this class see them.
    static std::vector<MdxFunction> Collect();
};

// The argument of `call` at `index`, or null where it is left out or empty, as in
// Descendants([Store].[USA], , LEAVES).
const mdx::Expr* GivenArgument(const mdx::Expr& call, size_t index);

}  // namespace orvik::cube
