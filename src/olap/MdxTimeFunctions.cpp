// The evaluator's time functions: the periods to date (Ytd, Qtd, Mtd, PeriodsToDate) and the same
// period of an earlier one (ParallelPeriod). Without a member they work from the current member
// of the cube's time dimension.
#include "olap/MdxEvaluator.h"
#include "olap/MdxValueRules.h"

namespace orvik::cube {

using mdx::Expr;
using namespace mdxvalue;

struct QueryEvaluator::TimeFunctions {
    // `member` evaluated when given; otherwise the current member of `level`'s hierarchy or,
    // without a level, of the cube's first time dimension.
    static Member* PeriodMember(QueryEvaluator& e, const Expr& call, const Expr* member,
                                const Level* level) {
        if (member) return e.EvalMember(*member);
        Hierarchy* time = level ? level->Owner : nullptr;
        if (!time)
            for (auto& hierarchy : e.cube_.Hierarchies())
                if (hierarchy->IsTime && !time) time = hierarchy.get();
        if (!time) e.Fail(call, call.Text + " needs a time dimension");
        return e.CurrentMember(*time);
    }

    // The members of `member`'s level from the first one under its ancestor at `depth` up to
    // `member` itself.
    static TupleList ToDate(QueryEvaluator& e, Member* member, int depth) {
        Member* ancestor = e.Ancestor(member, depth);
        if (!ancestor) return {};
        e.cube_.Load(*member->Owner);  // numbered whole, not in part
        Member* first = ancestor;
        while (first && first->Depth < member->Depth)
            first = first->Children.empty() ? nullptr : first->Children.front();
        if (!first) return {};
        const auto& level = member->Owner->ByLevel[static_cast<size_t>(member->Depth)];
        TupleList set;
        for (size_t i = first->LevelIndex; i <= member->LevelIndex && i < level.size(); ++i)
            set.push_back({level[i]});
        return set;
    }

    // Ytd, Qtd and Mtd: the periods to date within the level of type `levelType`.
    static TupleList ToDateWithin(QueryEvaluator& e, const Expr& call, const char* levelType) {
        Member* member = PeriodMember(e, call, GivenArgument(call, 0), nullptr);
        if (!member) return {};
        int depth = -1;
        for (const Level& level : member->Owner->Levels)
            if (level.Definition && level.Definition->LevelType == levelType) depth = level.Depth;
        if (depth < 0) e.Fail(call, call.Text + " needs a level of type " + levelType);
        return ToDate(e, member, depth);
    }
    static TupleList Ytd(QueryEvaluator& e, const Expr& call) {
        return ToDateWithin(e, call, "TimeYears");
    }
    static TupleList Qtd(QueryEvaluator& e, const Expr& call) {
        return ToDateWithin(e, call, "TimeQuarters");
    }
    static TupleList Mtd(QueryEvaluator& e, const Expr& call) {
        return ToDateWithin(e, call, "TimeMonths");
    }

    // Without a level, the periods to date within the member's parent.
    static TupleList PeriodsToDate(QueryEvaluator& e, const Expr& call) {
        const Expr* levelArgument = GivenArgument(call, 0);
        const Level* level = levelArgument ? e.EvalLevel(*levelArgument) : nullptr;
        Member* member = PeriodMember(e, call, GivenArgument(call, 1), level);
        if (!member) return {};
        return ToDate(e, member,
                      level ? level->Depth : (member->Depth > 0 ? member->Depth - 1 : 0));
    }

    // ParallelPeriod(level, lag, member): the member in the same place under the ancestor `lag`
    // periods of `level` back; without a level, under its parent's predecessor.
    static Member* ParallelPeriod(QueryEvaluator& e, const Expr& call) {
        const Expr* levelArgument = GivenArgument(call, 0);
        const Level* level = levelArgument ? e.EvalLevel(*levelArgument) : nullptr;
        // The level of a member that is not there: no period either.
        if (levelArgument && !level) return nullptr;
        Member* member = PeriodMember(e, call, GivenArgument(call, 2), level);
        if (!member) return nullptr;
        const int depth = level ? level->Depth : member->Depth - 1;
        const Expr* lagArgument = GivenArgument(call, 1);
        const long lag = lagArgument ? static_cast<long>(AsNumber(e.EvalValue(*lagArgument))) : 1;
        return e.Cousin(member, e.Lead(e.Ancestor(member, depth), -lag));
    }
};

std::span<const MdxFunction> QueryEvaluator::TimeFunctionEntries() {
    using F = TimeFunctions;
    constexpr MdxCallForm kEither = MdxCallForm::Either;
    static const MdxFunction kEntries[] = {
        {"Mtd", kEither, 0, 1, &F::Mtd},
        {"ParallelPeriod", kEither, 0, 3, &F::ParallelPeriod},
        {"PeriodsToDate", kEither, 0, 2, &F::PeriodsToDate},
        {"Qtd", kEither, 0, 1, &F::Qtd},
        {"Ytd", kEither, 0, 1, &F::Ytd},
    };
    return kEntries;
}

}  // namespace orvik::cube
