// The evaluator's set functions: the members of a level or hierarchy, crossjoins, the set
// operations, filters, orders and the rest.
#include <algorithm>
#include <climits>
#include <optional>

#include "olap/MdxEvaluator.h"
#include "olap/MdxValueRules.h"
#include "olap/TupleSets.h"

namespace orvik::cube {

using mdx::Expr;
using namespace mdxvalue;

namespace {

// A count given as a number: nothing below one.
size_t CountOf(double count) {
    return count <= 0 ? 0 : static_cast<size_t>(count);
}

// The ALL flag of Union, Generate and the like, at argument `index`.
bool AllFlag(const Expr& call, size_t index) {
    const Expr* flag = GivenArgument(call, index);
    return flag && Flag(*flag) == "all";
}

// Whether Descendants with `flag` takes a member at `depth` (a leaf or not) when the flag's level
// is at `target` and the walk started at `start`; nothing for a flag it does not know.
std::optional<bool> DescendantTaken(const std::string& flag, int depth, int target, int start,
                                    bool leaf) {
    if (flag == "self") return depth == target;
    if (flag == "after") return depth > target;
    if (flag == "before") return depth < target && depth >= start;
    if (flag == "before_and_after") return depth != target;
    if (flag == "self_and_after") return depth >= target;
    if (flag == "self_and_before") return depth <= target;
    if (flag == "self_before_after") return true;
    if (flag == "leaves") return leaf && depth <= target;
    return std::nullopt;
}

}  // namespace

TupleList QueryEvaluator::CrossjoinSets(const TupleList& left, const TupleList& right) {
    CheckCrossjoinSize(left.size(), right.size());
    TupleList set;
    set.reserve(left.size() * right.size());
    for (const Tuple& a : left) {
        CheckStop();
        for (const Tuple& b : right) {
            Tuple tuple = a;
            tuple.insert(tuple.end(), b.begin(), b.end());
            set.push_back(std::move(tuple));
        }
    }
    return set;
}

struct QueryEvaluator::SetFunctions {
    // Members and AllMembers; AllMembers adds the calculated members, query's and cube's.
    static TupleList MembersOf(QueryEvaluator& e, const Expr& call, bool calculatedToo) {
        const Expr& target = *call.Args[0];
        std::vector<Member*> members;
        Hierarchy* hierarchy = nullptr;
        int depth = -1;
        const Level* level = nullptr;
        if (target.What == Expr::Kind::Name) {
            const Resolved resolved = e.Resolve(target);
            level = resolved.TheLevel;
            hierarchy = resolved.TheHierarchy;
            if (!level && !hierarchy)
                e.Fail(call, call.Text + " needs a level or a hierarchy, not " + target.ToString());
        } else {
            level = e.EvalLevel(target);
            if (!level) return {};
        }
        if (level) {
            members = e.LevelMembers(*level);
            hierarchy = level->Owner;
            depth = level->Depth;
        } else {
            members = e.Members(*hierarchy);
        }
        if (calculatedToo) {
            std::vector<Member*> calculated = hierarchy->CalculatedMembers;
            for (Member* member : e.queryCalculated_)
                if (member->Owner == hierarchy) calculated.push_back(member);
            std::stable_sort(
                calculated.begin(), calculated.end(),
                [](const Member* a, const Member* b) { return a->Ordinal < b->Ordinal; });
            for (Member* member : calculated)
                if (depth < 0 || member->Depth == depth) members.push_back(member);
        }
        return Singles(members);
    }
    static TupleList Members(QueryEvaluator& e, const Expr& call) {
        return MembersOf(e, call, false);
    }
    static TupleList AllMembers(QueryEvaluator& e, const Expr& call) {
        return MembersOf(e, call, true);
    }

    static TupleList Children(QueryEvaluator& e, const Expr& call) {
        Member* member = e.EvalMember(*call.Args[0]);
        if (!member) return {};
        return Singles(e.ChildrenOf(*member));
    }

    static TupleList Siblings(QueryEvaluator& e, const Expr& call) {
        Member* member = e.EvalMember(*call.Args[0]);
        if (!member) return {};
        return Singles(e.SiblingsOf(*member));
    }

    static TupleList Crossjoin(QueryEvaluator& e, const Expr& call) {
        TupleList result = e.EvalSet(*call.Args[0]);
        for (size_t i = 1; i < call.Args.size(); ++i)
            result = e.CrossjoinSets(result, e.EvalSet(*call.Args[i]));
        return result;
    }

    // Only the tuples with facts are built when the facts can say which (stored measure and
    // members current); cells then drop those still empty.
    static TupleList NonEmptyCrossjoin(QueryEvaluator& e, const Expr& call) {
        std::vector<TupleList> operands;
        for (const auto& arg : call.Args) operands.push_back(e.EvalSet(*arg));
        TupleList result = e.CrossjoinOperands(std::move(operands), {}, e.context_,
                                               e.FactCubes(e.context_, {}), {});
        std::erase_if(result, [&](const Tuple& t) { return e.ValueAt(t).IsEmpty(); });
        return result;
    }

    // The tuples of the first set that exist with some tuple of the second: with a cube named,
    // those with facts together in it; without, those whose members agree with the second
    // set's members of their hierarchies (the same member, or one above the other).
    static TupleList Exists(QueryEvaluator& e, const Expr& call) {
        TupleList set = e.EvalSet(*call.Args[0]);
        const TupleList others = e.EvalSet(*call.Args[1]);
        if (const Expr* cube = GivenArgument(call, 2))
            return e.ExistingWithFacts(set, others, AsText(e.EvalValue(*cube)), call);
        const auto agree = [&](const Tuple& t, const Tuple& other) {
            for (Member* a : t)
                for (Member* b : other)
                    if (a && b && a->Owner == b->Owner && a != b && !e.IsAncestor(a, b) &&
                        !e.IsAncestor(b, a))
                        return false;
            return true;
        };
        std::erase_if(set, [&](const Tuple& t) {
            return std::none_of(others.begin(), others.end(),
                                [&](const Tuple& other) { return agree(t, other); });
        });
        return set;
    }

    // In the hierarchies' order; with POST, children before their parents.
    static TupleList Hierarchize(QueryEvaluator& e, const Expr& call) {
        TupleList set = e.EvalSet(*call.Args[0]);
        const Expr* flag = GivenArgument(call, 1);
        const bool post = flag && Flag(*flag) == "post";
        auto before = [&](const Member* a, const Member* b) {
            if (a == b) return false;
            if (post) {
                if (e.IsAncestor(a, b)) return false;
                if (e.IsAncestor(b, a)) return true;
            }
            return a->Ordinal < b->Ordinal;
        };
        std::stable_sort(set.begin(), set.end(), [&](const Tuple& x, const Tuple& y) {
            for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
                if (x[i] == y[i]) continue;
                return before(x[i], y[i]);
            }
            return false;
        });
        return set;
    }

    // Union, Intersect and Except: the first two sets combined, ALL keeping repeats.
    static TupleList Combined(QueryEvaluator& e, const Expr& call,
                              TupleList (*combine)(TupleList, const TupleList&, bool)) {
        TupleList left = e.EvalSet(*call.Args[0]);
        const TupleList right = e.EvalSet(*call.Args[1]);
        return combine(std::move(left), right, AllFlag(call, 2));
    }
    static TupleList Union(QueryEvaluator& e, const Expr& call) {
        return Combined(e, call, UnionTuples);
    }
    static TupleList Intersect(QueryEvaluator& e, const Expr& call) {
        return Combined(e, call, [](TupleList left, const TupleList& right, bool all) {
            return IntersectTuples(left, right, all);
        });
    }
    static TupleList Except(QueryEvaluator& e, const Expr& call) {
        return Combined(e, call, [](TupleList left, const TupleList& right, bool all) {
            return ExceptTuples(left, right, all);
        });
    }

    static TupleList Distinct(QueryEvaluator& e, const Expr& call) {
        return DistinctTuples(e.EvalSet(*call.Args[0]));
    }

    static TupleList Filter(QueryEvaluator& e, const Expr& call) {
        TupleList set = e.EvalSet(*call.Args[0]);
        std::erase_if(set, [&](const Tuple& t) { return !IsTrue(e.ValueWith(t, *call.Args[1])); });
        return set;
    }

    // `set` ordered by the values of `key`, ties keeping their order; `hierarchical` keeps each
    // member under its parent, ranked among its siblings.
    static TupleList Sorted(QueryEvaluator& e, TupleList set, const Expr& key, bool descending,
                            bool hierarchical) {
        if (hierarchical)
            return OrderHierarchically(
                std::move(set), [&](const Tuple& tuple) { return e.ValueWith(tuple, key); },
                descending);
        std::vector<std::pair<MdxValue, size_t>> keys;
        keys.reserve(set.size());
        for (size_t i = 0; i < set.size(); ++i) keys.emplace_back(e.ValueWith(set[i], key), i);
        std::stable_sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
            const int c = Compare(a.first, b.first);
            return descending ? c > 0 : c < 0;
        });
        TupleList sorted;
        sorted.reserve(set.size());
        for (const auto& [value, index] : keys) sorted.push_back(std::move(set[index]));
        return sorted;
    }

    // ASC and DESC keep the hierarchy; BASC and BDESC break it.
    static TupleList Order(QueryEvaluator& e, const Expr& call) {
        TupleList set = e.EvalSet(*call.Args[0]);
        bool descending = false;
        bool hierarchical = true;
        if (const Expr* flagArgument = GivenArgument(call, 2)) {
            const std::string flag = Flag(*flagArgument);
            descending = flag == "desc" || flag == "bdesc";
            hierarchical = flag != "basc" && flag != "bdesc";
        }
        return Sorted(e, std::move(set), *call.Args[1], descending, hierarchical);
    }

    // TopCount and BottomCount: the first tuples, by the value of the third argument if given.
    static TupleList Best(QueryEvaluator& e, const Expr& call, bool descending) {
        TupleList set = e.EvalSet(*call.Args[0]);
        if (const Expr* key = GivenArgument(call, 2))
            set = Sorted(e, std::move(set), *key, descending, false);
        const size_t count = CountOf(AsNumber(e.EvalValue(*call.Args[1])));
        if (set.size() > count) set.resize(count);
        return set;
    }
    static TupleList TopCount(QueryEvaluator& e, const Expr& call) { return Best(e, call, true); }
    static TupleList BottomCount(QueryEvaluator& e, const Expr& call) {
        return Best(e, call, false);
    }

    // Head and Tail: one tuple unless told how many.
    static TupleList End(QueryEvaluator& e, const Expr& call, bool tail) {
        TupleList set = e.EvalSet(*call.Args[0]);
        const Expr* count = GivenArgument(call, 1);
        const size_t n = std::min(set.size(), CountOf(count ? AsNumber(e.EvalValue(*count)) : 1));
        if (tail) return TupleList(set.end() - static_cast<long>(n), set.end());
        return TupleList(set.begin(), set.begin() + static_cast<long>(n));
    }
    static TupleList Head(QueryEvaluator& e, const Expr& call) { return End(e, call, false); }
    static TupleList Tail(QueryEvaluator& e, const Expr& call) { return End(e, call, true); }

    static void AddDescendants(QueryEvaluator& e, const Expr& call, Member* member,
                               const std::string& flag, int target, int start, TupleList& out) {
        const std::optional<bool> take =
            DescendantTaken(flag, member->Depth, target, start, member->Children.empty());
        if (!take) e.Fail(call, "Descendants does not know the flag " + flag);
        if (*take) out.push_back({member});
        if (flag == "self" && member->Depth >= target) return;
        for (Member* child : member->Children)
            AddDescendants(e, call, child, flag, target, start, out);
    }

    // Descendants(set, level or distance, flag): without a level, every member below.
    static TupleList Descendants(QueryEvaluator& e, const Expr& call) {
        const TupleList roots = e.EvalSet(*call.Args[0]);
        const Expr* flagArgument = GivenArgument(call, 2);
        std::string flag = flagArgument ? Flag(*flagArgument) : "";
        int distance = -1;
        const Level* level = nullptr;
        if (const Expr* depth = GivenArgument(call, 1)) {
            if (depth->What == Expr::Kind::Number)
                distance = static_cast<int>(depth->Number);
            else
                level = e.EvalLevel(*depth);
            if (flag.empty()) flag = "self";
        } else if (flag.empty()) {
            flag = "self_before_after";
        }
        TupleList result;
        for (const Tuple& root : roots) {
            Member* member = root.empty() ? nullptr : root.front();
            if (!member) continue;
            if (!member->Owner->IsMeasures) e.cube_.Load(*member->Owner);
            // LEAVES without a level or distance means every leaf below, however deep.
            // A parent-child level holds members of many depths: asked from inside it, the
            // descendants at that level start with the member itself.
            const int target = level ? (level == e.LevelOf(member) ? member->Depth : level->Depth)
                               : distance < 0 && flag == "leaves"
                                   ? INT_MAX
                                   : member->Depth + std::max(distance, 0);
            AddDescendants(e, call, member, flag, target, member->Depth, result);
        }
        return result;
    }

    // The tuples with a cell that is not empty, alone or with a tuple of the second set.
    static TupleList NonEmpty(QueryEvaluator& e, const Expr& call) {
        TupleList set = e.EvalSet(*call.Args[0]);
        const Expr* othersArgument = GivenArgument(call, 1);
        const TupleList others = othersArgument ? e.EvalSet(*othersArgument) : TupleList{{}};
        std::erase_if(set, [&](const Tuple& t) {
            for (const Tuple& other : others) {
                Tuple both = t;
                both.insert(both.end(), other.begin(), other.end());
                if (!e.ValueAt(both).IsEmpty()) return false;
            }
            return true;
        });
        return set;
    }

    // The second set evaluated for each tuple of the first; ALL keeps repeats.
    static TupleList Generate(QueryEvaluator& e, const Expr& call) {
        const TupleList outer = e.EvalSet(*call.Args[0]);
        const bool all = AllFlag(call, 2);
        TupleList result;
        TupleSeen kept;
        for (const Tuple& t : outer) {
            TupleList inner;
            {
                const TupleContext inTuple(e, t);
                inner = e.EvalSet(*call.Args[1]);
            }
            for (Tuple& u : inner)
                if (all || kept.Insert(u)) result.push_back(std::move(u));
        }
        return result;
    }
};

std::span<const MdxFunction> QueryEvaluator::SetFunctionEntries() {
    using F = SetFunctions;
    constexpr MdxCallForm kEither = MdxCallForm::Either;
    static const MdxFunction kEntries[] = {
        {"AllMembers", kEither, 1, 1, &F::AllMembers},
        {"BottomCount", kEither, 2, 3, &F::BottomCount},
        {"Children", kEither, 1, 1, &F::Children},
        {"Crossjoin", kEither, 2, kAnyArgumentCount, &F::Crossjoin},
        {"Descendants", kEither, 1, 3, &F::Descendants},
        {"Distinct", kEither, 1, 1, &F::Distinct},
        {"Except", kEither, 2, 3, &F::Except},
        {"Exists", kEither, 2, 3, &F::Exists},
        {"Filter", kEither, 2, 2, &F::Filter},
        {"Generate", kEither, 2, 3, &F::Generate},
        {"Head", kEither, 1, 2, &F::Head},
        {"Hierarchize", kEither, 1, 2, &F::Hierarchize},
        {"Intersect", kEither, 2, 3, &F::Intersect},
        {"Members", kEither, 1, 1, &F::Members},
        {"NonEmpty", kEither, 1, 2, &F::NonEmpty},
        {"NonEmptyCrossjoin", kEither, 2, kAnyArgumentCount, &F::NonEmptyCrossjoin},
        {"Order", kEither, 2, 3, &F::Order},
        {"Siblings", kEither, 1, 1, &F::Siblings},
        {"Tail", kEither, 1, 2, &F::Tail},
        {"TopCount", kEither, 2, 3, &F::TopCount},
        {"Union", kEither, 2, 3, &F::Union},
    };
    return kEntries;
}

}  // namespace orvik::cube
