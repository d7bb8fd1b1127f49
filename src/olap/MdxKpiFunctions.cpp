// KPIs in formulas: KPIValue("Revenue"), KPIGoal, KPIStatus, KPITrend and KPIWeight evaluate the
// KPI's expression where the call stands, so a KPI's status can be written in terms of its own
// value and goal, and a report can put any of them on an axis like a measure. A KPI that uses
// itself ends at the evaluator's nesting limit, as a calculated member that does.
#include "olap/MdxEvaluator.h"

namespace orvik::cube {

using mdx::Expr;

struct QueryEvaluator::KpiFunctions {
    using Part = std::shared_ptr<const Expr> Kpi::*;

    static MdxValue Evaluate(QueryEvaluator& e, const Expr& call, Part part) {
        const MdxValue name = e.EvalValue(*call.Args[0]);
        if (name.What != MdxValue::Type::String)
            e.Fail(call, call.Text + " takes the name of a KPI as a string, such as " + call.Text +
                             "(\"Revenue\")");
        const Kpi* kpi = e.cube_.FindKpi(name.Text);
        if (!kpi)
            e.Fail(call,
                   "the cube '" + e.cube_.Definition().Name + "' has no KPI '" + name.Text + "'");
        const std::shared_ptr<const Expr>& expression = kpi->*part;
        // A KPI without a goal (or trend, ...) has an empty one, as a cell without facts.
        return expression ? e.EvalValue(*expression) : MdxValue{};
    }
    static MdxValue Value(QueryEvaluator& e, const Expr& call) {
        return Evaluate(e, call, &Kpi::Value);
    }
    static MdxValue Goal(QueryEvaluator& e, const Expr& call) {
        return Evaluate(e, call, &Kpi::Goal);
    }
    static MdxValue Status(QueryEvaluator& e, const Expr& call) {
        return Evaluate(e, call, &Kpi::Status);
    }
    static MdxValue Trend(QueryEvaluator& e, const Expr& call) {
        return Evaluate(e, call, &Kpi::Trend);
    }
    static MdxValue Weight(QueryEvaluator& e, const Expr& call) {
        return Evaluate(e, call, &Kpi::Weight);
    }
};

std::span<const MdxFunction> QueryEvaluator::KpiFunctionEntries() {
    using F = KpiFunctions;
    constexpr MdxCallForm kFunction = MdxCallForm::Function;
    static const MdxFunction kEntries[] = {
        {"KPIGoal", kFunction, 1, 1, &F::Goal},     {"KPIStatus", kFunction, 1, 1, &F::Status},
        {"KPITrend", kFunction, 1, 1, &F::Trend},   {"KPIValue", kFunction, 1, 1, &F::Value},
        {"KPIWeight", kFunction, 1, 1, &F::Weight},
    };
    return kEntries;
}

}  // namespace orvik::cube
