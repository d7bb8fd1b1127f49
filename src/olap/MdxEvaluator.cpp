// The evaluator's expressions: tuples, sets, members, levels, hierarchies and values, each read
// as what the place it stands in needs. Function calls go through the function table
// (MdxFunctionTable), which holds the families of functions the other Mdx*Functions files define.
#include "olap/MdxEvaluator.h"

#include <algorithm>
#include <variant>

#include "core/StopRequest.h"
#include "olap/MdxLexer.h"
#include "olap/MdxValueRules.h"
#include "olap/NameCase.h"
#include "olap/TupleSets.h"

namespace orvik::cube {

using mdx::Expr;
using namespace mdxvalue;

QueryEvaluator::QueryEvaluator(CubeModel& cube, CellFetcher& fetcher, std::string text)
    : cube_(cube), fetcher_(fetcher), text_(std::move(text)) {}

void QueryEvaluator::Fail(const Expr& at, const std::string& what) const {
    throw MdxEvaluationError(what + " (at " + mdx::DescribePosition(text_, at.Position) + ")");
}

QueryEvaluator::Nesting::Nesting(QueryEvaluator& evaluator, const Expr& at)
    : evaluator_(evaluator) {
    if (++evaluator_.nesting_ > kMaxEvaluationNesting) {
        --evaluator_.nesting_;
        evaluator_.Fail(at, "The query's evaluation nests deeper than the limit of " +
                                std::to_string(kMaxEvaluationNesting) +
                                " levels (formulas that use each other count too)");
    }
    evaluator_.CheckStop();
}

void QueryEvaluator::CheckStop() {
    // The clock is read once in a while, not on every expression.
    if ((++steps_ & 0xFF) == 0) ThrowIfStopped("The query");
}

QueryEvaluator::TupleContext::TupleContext(QueryEvaluator& evaluator, const Tuple& tuple)
    : evaluator_(evaluator), saved_(evaluator.context_) {
    for (Member* member : tuple)
        if (member) evaluator_.context_[static_cast<size_t>(member->Owner->Index)] = member;
}

template <class Body>
Body QueryEvaluator::BodyOf(const Expr& call) {
    const MdxFunction* function = MdxFunctionTable::Find(call);
    const Body* body = function ? std::get_if<Body>(&function->Evaluate) : nullptr;
    if (!body) return nullptr;
    if (auto problem = MdxFunctionTable::ArityProblem(*function, call)) Fail(call, *problem);
    return *body;
}

Hierarchy* QueryEvaluator::EvalHierarchy(const Expr& expr) {
    if (expr.What == Expr::Kind::Name) {
        Resolved resolved = Resolve(expr);
        if (resolved.TheHierarchy) return resolved.TheHierarchy;
        if (resolved.TheLevel) return resolved.TheLevel->Owner;
        if (resolved.TheMember) return resolved.TheMember->Owner;
    }
    if (expr.What == Expr::Kind::Call)
        if (auto hierarchy = BodyOf<MdxFunction::HierarchyBody>(expr))
            return hierarchy(*this, expr);
    if (Member* member = EvalMember(expr)) return member->Owner;
    Fail(expr, "A hierarchy was expected: " + expr.ToString());
}

Level* QueryEvaluator::EvalLevel(const Expr& expr) {
    if (expr.What == Expr::Kind::Name) {
        Resolved resolved = Resolve(expr);
        if (resolved.TheLevel) return resolved.TheLevel;
    }
    if (expr.What == Expr::Kind::Call)
        if (auto level = BodyOf<MdxFunction::LevelBody>(expr)) return level(*this, expr);
    Fail(expr, "A level was expected: " + expr.ToString());
}

Member* QueryEvaluator::EvalMember(const Expr& expr) {
    const Nesting nesting(*this, expr);
    switch (expr.What) {
        case Expr::Kind::Name: {
            Resolved resolved = Resolve(expr);
            if (resolved.TheMember) return resolved.TheMember;
            // A hierarchy where a member belongs means its current member: [Time].PrevMember.
            if (resolved.TheHierarchy) return CurrentMember(*resolved.TheHierarchy);
            Fail(expr, "A member was expected, but " + expr.ToString() + " is a " +
                           (resolved.TheLevel ? "level" : "set"));
        }
        case Expr::Kind::Call:
            if (auto member = BodyOf<MdxFunction::MemberBody>(expr)) return member(*this, expr);
            break;
        default:
            break;
    }
    Fail(expr, "A member was expected: " + expr.ToString());
}

// --- sets ----------------------------------------------------------------------------------------

Tuple QueryEvaluator::EvalTuple(const Expr& expr) {
    const Nesting nesting(*this, expr);
    Tuple tuple;
    if (expr.What == Expr::Kind::Tuple) {
        for (const auto& item : expr.Args) {
            Tuple part = EvalTuple(*item);
            // ([Store].[USA], [Store].[Canada]) would silently show Canada alone.
            for (const Member* member : part)
                for (const Member* earlier : tuple)
                    if (member && earlier && member->Owner == earlier->Owner)
                        Fail(*item, "The tuple " + expr.ToString() +
                                        " names more than one member of " +
                                        member->Owner->UniqueName);
            tuple.insert(tuple.end(), part.begin(), part.end());
        }
        return tuple;
    }
    tuple.push_back(EvalMember(expr));
    return tuple;
}

TupleList QueryEvaluator::EvalSet(const Expr& expr) {
    const Nesting nesting(*this, expr);
    switch (expr.What) {
        case Expr::Kind::Braces: {
            TupleList set;
            for (const auto& item : expr.Args) {
                TupleList part = EvalSet(*item);
                set.insert(set.end(), part.begin(), part.end());
            }
            return set;
        }
        case Expr::Kind::Tuple: {
            Tuple tuple = EvalTuple(expr);
            if (std::find(tuple.begin(), tuple.end(), nullptr) != tuple.end()) return {};
            return {tuple};
        }
        case Expr::Kind::Name: {
            Resolved resolved = Resolve(expr);
            if (resolved.SetFormula) return NamedSetTuples(sets_[resolved.SetName], expr);
            if (resolved.TheLevel) {
                TupleList set;
                for (Member* member : LevelMembers(*resolved.TheLevel)) set.push_back({member});
                return set;
            }
            if (resolved.TheHierarchy) return {{cube_.DefaultMember(*resolved.TheHierarchy)}};
            return {{resolved.TheMember}};
        }
        case Expr::Kind::Operator:
            if (expr.Args.size() == 2) return SetOperator(expr);
            break;
        case Expr::Kind::Call: {
            if (auto set = BodyOf<MdxFunction::SetBody>(expr)) return set(*this, expr);
            if (auto member = BodyOf<MdxFunction::MemberBody>(expr)) {
                Member* found = member(*this, expr);
                if (!found) return {};
                return {{found}};
            }
            break;
        }
        default:
            break;
    }
    Fail(expr, "A set was expected: " + expr.ToString());
}

const TupleList& QueryEvaluator::NamedSetTuples(NamedSet& set, const Expr& at) {
    if (set.Done) return set.Cached;
    if (set.Evaluating) Fail(at, "The set " + at.ToString() + " refers to itself");
    set.Evaluating = true;
    // A named set is fixed for the whole query: it is evaluated where the query starts, not in
    // the cell or calculated member that first uses it.
    std::vector<Member*> saved = context_;
    const int savedCompound = compound_;
    context_ = setContext_;
    compound_ = -1;
    set.Cached = EvalSet(*set.Formula);
    context_ = std::move(saved);
    compound_ = savedCompound;
    set.Evaluating = false;
    set.Done = true;
    return set.Cached;
}

TupleList QueryEvaluator::SetOperator(const Expr& expr) {
    if (expr.Text == "*") {
        const TupleList left = EvalSet(*expr.Args[0]);
        return CrossjoinSets(left, EvalSet(*expr.Args[1]));
    }
    if (expr.Text == ":") {
        Member* from = EvalMember(*expr.Args[0]);
        Member* to = EvalMember(*expr.Args[1]);
        if (!from || !to) return {};
        if (from->Owner != to->Owner || LevelIndexOf(*from) != LevelIndexOf(*to))
            Fail(expr, "A range needs two members of one level");
        if (!from->Owner->IsMeasures) cube_.Load(*from->Owner);  // numbered whole, not in part
        size_t a = from->LevelIndex, b = to->LevelIndex;
        if (a > b) std::swap(a, b);
        const auto& level = from->Owner->ByLevel[LevelIndexOf(*from)];
        TupleList set;
        for (size_t i = a; i <= b && i < level.size(); ++i) set.push_back({level[i]});
        return set;
    }
    if (expr.Text == "+" || expr.Text == "-") {
        TupleList left = EvalSet(*expr.Args[0]);
        const TupleList right = EvalSet(*expr.Args[1]);
        if (expr.Text == "-") return ExceptTuples(left, right, true);
        // Repeats within the left set stay; the right set adds what is new.
        TupleSeen seen;
        seen.Reserve(left.size() + right.size());
        for (const Tuple& t : left) seen.Insert(t);
        for (const Tuple& t : right)
            if (seen.Insert(t)) left.push_back(t);
        return left;
    }
    Fail(expr, "A set was expected: " + expr.ToString());
}

MdxValue QueryEvaluator::EvalOperator(const Expr& op) {
    if (op.Args.size() == 1) {
        const MdxValue value = EvalValue(*op.Args[0]);
        if (op.Text == "NOT") return Truth(!IsTrue(value));
        if (value.IsEmpty()) return value;
        return Number(op.Text == "u-" ? -AsNumber(value) : AsNumber(value), value.Integer);
    }
    const std::string& name = op.Text;
    if (name == "AND")
        return Truth(IsTrue(EvalValue(*op.Args[0])) && IsTrue(EvalValue(*op.Args[1])));
    if (name == "OR")
        return Truth(IsTrue(EvalValue(*op.Args[0])) || IsTrue(EvalValue(*op.Args[1])));
    if (name == "IS") {
        const Expr& right = *op.Args[1];
        const std::string flag = Flag(right);
        if (flag == "null" || flag == "empty") return Truth(EvalValue(*op.Args[0]).IsEmpty());
        return Truth(EvalMember(*op.Args[0]) == EvalMember(right));
    }
    const MdxValue left = EvalValue(*op.Args[0]);
    const MdxValue right = EvalValue(*op.Args[1]);
    if (name == "XOR") return Truth(IsTrue(left) != IsTrue(right));
    if (name == "||") return Text(AsText(left) + AsText(right));
    if (name == "=" || name == "<>" || name == "<" || name == ">" || name == "<=" || name == ">=") {
        MdxValue a = left, b = right;
        if (a.IsEmpty() && b.What != MdxValue::Type::String) a = Number(0);
        if (b.IsEmpty() && a.What != MdxValue::Type::String) b = Number(0);
        const int c = Compare(a, b);
        if (name == "=") return Truth(c == 0);
        if (name == "<>") return Truth(c != 0);
        if (name == "<") return Truth(c < 0);
        if (name == ">") return Truth(c > 0);
        if (name == "<=") return Truth(c <= 0);
        return Truth(c >= 0);
    }
    if (name == "+" &&
        (left.What == MdxValue::Type::String || right.What == MdxValue::Type::String))
        return Text(AsText(left) + AsText(right));
    if (name == "+" || name == "-") {
        // An empty operand counts as zero, unless both are empty.
        if (left.IsEmpty() && right.IsEmpty()) return {};
        const double x = AsNumber(left), y = AsNumber(right);
        return Number(name == "+" ? x + y : x - y, left.Integer && right.Integer);
    }
    if (name == "*" || name == "/") {
        if (left.IsEmpty() || right.IsEmpty()) return {};
        const double x = AsNumber(left), y = AsNumber(right);
        return Number(name == "*" ? x * y : x / y);
    }
    Fail(op, "The operator " + name + " cannot be used on values");
}

MdxValue QueryEvaluator::EvalCall(const Expr& call) {
    if (auto value = BodyOf<MdxFunction::ValueBody>(call)) return value(*this, call);
    if (auto member = BodyOf<MdxFunction::MemberBody>(call)) {
        Member* found = member(*this, call);
        if (!found) return {};
        return ValueAt({found});
    }
    Fail(call, "Unknown function " + call.Text);
}

MdxValue QueryEvaluator::EvalValue(const Expr& expr) {
    const Nesting nesting(*this, expr);
    switch (expr.What) {
        case Expr::Kind::Number:
            return Number(expr.Number);
        case Expr::Kind::String:
            return Text(expr.Text);
        case Expr::Kind::Name: {
            // The bare word NULL is the empty value (a KPI without a goal says so).
            if (expr.Segments.size() == 1 && !expr.Segments[0].Quoted && !expr.Segments[0].IsKey &&
                SameName(expr.Segments[0].Name, "NULL"))
                return {};
            Resolved resolved = Resolve(expr);
            if (resolved.TheMember) return ValueAt({resolved.TheMember});
            if (resolved.TheHierarchy) return CellValue();
            Fail(expr, "A value was expected, but " + expr.ToString() + " is a " +
                           (resolved.TheLevel ? "level" : "set"));
        }
        case Expr::Kind::Tuple:
            return ValueAt(EvalTuple(expr));
        case Expr::Kind::Operator:
            return EvalOperator(expr);
        case Expr::Kind::Call:
            return EvalCall(expr);
        case Expr::Kind::Case: {
            if (!expr.Args.empty()) {
                const MdxValue subject = EvalValue(*expr.Args[0]);
                for (const auto& [when, then] : expr.Whens)
                    if (Compare(subject, EvalValue(*when)) == 0) return EvalValue(*then);
            } else {
                for (const auto& [when, then] : expr.Whens)
                    if (IsTrue(EvalValue(*when))) return EvalValue(*then);
            }
            return expr.Else ? EvalValue(*expr.Else) : MdxValue{};
        }
        case Expr::Kind::Braces: {
            const TupleList set = EvalSet(expr);
            if (set.size() == 1) return ValueAt(set.front());
            Fail(expr, "A value was expected, but " + expr.ToString() + " is a set");
        }
        case Expr::Kind::Empty:
            return {};
    }
    return {};
}

}  // namespace orvik::cube
