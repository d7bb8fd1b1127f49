// The evaluator's functions of values: conditions (IIf, CoalesceEmpty, IsEmpty), a set aggregated
// into one number (Sum, Avg, Count, ...), Abs, a tuple's Value and a level's Ordinal.
#include <cmath>

#include "olap/MdxEvaluator.h"
#include "olap/MdxValueRules.h"

namespace orvik::cube {

using mdx::Expr;
using namespace mdxvalue;

struct QueryEvaluator::NumericFunctions {
    // Only the branch taken is evaluated: IIf(x = 0, 0, y / x) never divides by zero.
    static MdxValue IIf(QueryEvaluator& e, const Expr& call) {
        return IsTrue(e.EvalValue(*call.Args[0])) ? e.EvalValue(*call.Args[1])
                                                  : e.EvalValue(*call.Args[2]);
    }

    static MdxValue CoalesceEmpty(QueryEvaluator& e, const Expr& call) {
        for (const auto& item : call.Args) {
            MdxValue value = e.EvalValue(*item);
            if (!value.IsEmpty()) return value;
        }
        return {};
    }

    static MdxValue IsEmpty(QueryEvaluator& e, const Expr& call) {
        return Truth(e.EvalValue(*call.Args[0]).IsEmpty());
    }

    // The set of the first argument aggregated `how`, each tuple's value being the second
    // argument where there is one.
    static MdxValue Aggregated(QueryEvaluator& e, const Expr& call, const char* how) {
        const TupleList set = e.EvalSet(*call.Args[0]);
        return e.AggregateSet(set, call.Args.size() > 1 ? call.Args[1].get() : nullptr, how);
    }
    static MdxValue Aggregate(QueryEvaluator& e, const Expr& call) {
        return Aggregated(e, call, "aggregate");
    }
    static MdxValue Sum(QueryEvaluator& e, const Expr& call) { return Aggregated(e, call, "sum"); }
    static MdxValue Avg(QueryEvaluator& e, const Expr& call) { return Aggregated(e, call, "avg"); }
    static MdxValue Min(QueryEvaluator& e, const Expr& call) { return Aggregated(e, call, "min"); }
    static MdxValue Max(QueryEvaluator& e, const Expr& call) { return Aggregated(e, call, "max"); }

    // Count(set, EXCLUDEEMPTY) counts cells; set.Count counts tuples.
    static MdxValue Count(QueryEvaluator& e, const Expr& call) {
        if (call.IsMethod)
            return Number(static_cast<double>(e.EvalSet(*call.Args[0]).size()), true);
        return Aggregated(e, call, "count");
    }

    static MdxValue Abs(QueryEvaluator& e, const Expr& call) {
        MdxValue value = e.EvalValue(*call.Args[0]);
        if (!value.IsEmpty()) value.Number = std::fabs(AsNumber(value));
        return value;
    }

    static MdxValue Value(QueryEvaluator& e, const Expr& call) {
        return e.ValueAt(e.EvalTuple(*call.Args[0]));
    }

    static MdxValue Ordinal(QueryEvaluator& e, const Expr& call) {
        const Level* level = e.EvalLevel(*call.Args[0]);
        return Number(level ? level->Depth : 0, true);
    }
};

std::span<const MdxFunction> QueryEvaluator::NumericFunctionEntries() {
    using F = NumericFunctions;
    constexpr MdxCallForm kEither = MdxCallForm::Either;
    constexpr MdxCallForm kMethod = MdxCallForm::Method;
    static const MdxFunction kEntries[] = {
        {"Abs", kEither, 1, 1, &F::Abs},
        {"Aggregate", kEither, 1, 2, &F::Aggregate},
        {"Avg", kEither, 1, 2, &F::Avg},
        {"CoalesceEmpty", kEither, 1, kAnyArgumentCount, &F::CoalesceEmpty},
        {"Count", kEither, 1, 2, &F::Count},
        {"IIf", kEither, 3, 3, &F::IIf},
        {"IsEmpty", kEither, 1, 1, &F::IsEmpty},
        {"Max", kEither, 1, 2, &F::Max},
        {"Min", kEither, 1, 2, &F::Min},
        {"Ordinal", kMethod, 1, 1, &F::Ordinal},
        {"Sum", kEither, 1, 2, &F::Sum},
        {"Value", kMethod, 1, 1, &F::Value},
    };
    return kEntries;
}

}  // namespace orvik::cube
