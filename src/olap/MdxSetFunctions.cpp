// The evaluator's set functions: Members, Crossjoin, Order, Generate and the rest, by name.
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>

#include "core/StopRequest.h"
#include "olap/FormatString.h"
#include "olap/MdxEvaluator.h"
#include "olap/MdxValueRules.h"
#include "olap/NameCase.h"
#include "olap/TupleSets.h"

namespace orvik::cube {

using mdx::Expr;
using namespace mdxvalue;

TupleList QueryEvaluator::SetFunction(const Expr& call) {
    const std::string name = LowerAscii(call.Text);
    auto arg = [&](size_t i) -> const Expr* {
        return i < call.Args.size() && call.Args[i]->What != Expr::Kind::Empty ? call.Args[i].get()
                                                                               : nullptr;
    };
    auto need = [&](size_t count) {
        if (call.Args.size() < count)
            Fail(call, call.Text + " needs " + std::to_string(count) + " argument" +
                           (count > 1 ? "s" : ""));
    };
    auto singles = [](const std::vector<Member*>& members) {
        TupleList set;
        set.reserve(members.size());
        for (Member* member : members) set.push_back({member});
        return set;
    };
    // Evaluates `value` in the context of `tuple`.
    auto valueAt = [&](const Tuple& tuple, const Expr& value) {
        std::vector<Member*> saved = context_;
        for (Member* member : tuple)
            if (member) context_[static_cast<size_t>(member->Owner->Index)] = member;
        MdxValue result = EvalValue(value);
        context_ = std::move(saved);
        return result;
    };

    if (name == "members" || name == "allmembers") {
        need(1);
        const Expr& target = *call.Args[0];
        std::vector<Member*> members;
        Hierarchy* hierarchy = nullptr;
        int depth = -1;
        if (target.What == Expr::Kind::Name) {
            Resolved resolved = Resolve(target);
            if (resolved.TheLevel) {
                members = LevelMembers(*resolved.TheLevel);
                hierarchy = resolved.TheLevel->Owner;
                depth = resolved.TheLevel->Depth;
            } else if (resolved.TheHierarchy) {
                hierarchy = resolved.TheHierarchy;
                members = Members(*hierarchy);
            } else {
                Fail(call, call.Text + " needs a level or a hierarchy, not " + target.ToString());
            }
        } else {
            Level* level = EvalLevel(target);
            members = LevelMembers(*level);
            hierarchy = level->Owner;
            depth = level->Depth;
        }
        if (name == "allmembers") {
            std::vector<Member*> calculated = hierarchy->CalculatedMembers;
            for (Member* member : queryCalculated_)
                if (member->Owner == hierarchy) calculated.push_back(member);
            std::stable_sort(
                calculated.begin(), calculated.end(),
                [](const Member* a, const Member* b) { return a->Ordinal < b->Ordinal; });
            for (Member* member : calculated)
                if (depth < 0 || member->Depth == depth) members.push_back(member);
        }
        return singles(members);
    }
    if (name == "children") {
        need(1);
        Member* member = EvalMember(*call.Args[0]);
        if (!member) return {};
        if (!member->Owner->IsMeasures) cube_.Load(*member->Owner);
        return singles(member->Children);
    }
    if (name == "siblings") {
        need(1);
        Member* member = EvalMember(*call.Args[0]);
        if (!member) return {};
        return singles(member->Parent ? member->Parent->Children : member->Owner->Roots);
    }
    if (name == "crossjoin" || name == "nonemptycrossjoin") {
        need(2);
        TupleList result = EvalSet(*call.Args[0]);
        for (size_t i = 1; i < call.Args.size(); ++i) {
            const TupleList right = EvalSet(*call.Args[i]);
            CheckCrossjoinSize(result.size(), right.size());
            TupleList next;
            next.reserve(result.size() * right.size());
            for (const Tuple& a : result) {
                CheckStop();
                for (const Tuple& b : right) {
                    Tuple tuple = a;
                    tuple.insert(tuple.end(), b.begin(), b.end());
                    next.push_back(std::move(tuple));
                }
            }
            result = std::move(next);
        }
        if (name == "nonemptycrossjoin")
            std::erase_if(result, [&](const Tuple& t) { return ValueAt(t).IsEmpty(); });
        return result;
    }
    if (name == "hierarchize") {
        need(1);
        TupleList set = EvalSet(*call.Args[0]);
        const bool post = arg(1) && Flag(*arg(1)) == "post";
        auto before = [&](const Member* a, const Member* b) {
            if (a == b) return false;
            if (post) {
                if (IsAncestor(a, b)) return false;
                if (IsAncestor(b, a)) return true;
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
    if (name == "union" || name == "except" || name == "intersect") {
        need(2);
        TupleList left = EvalSet(*call.Args[0]);
        const TupleList right = EvalSet(*call.Args[1]);
        const bool all = arg(2) && Flag(*arg(2)) == "all";
        if (name == "union") return UnionTuples(std::move(left), right, all);
        return name == "intersect" ? IntersectTuples(left, right, all)
                                   : ExceptTuples(left, right, all);
    }
    if (name == "distinct") {
        need(1);
        return DistinctTuples(EvalSet(*call.Args[0]));
    }
    if (name == "filter") {
        need(2);
        TupleList set = EvalSet(*call.Args[0]);
        std::erase_if(set, [&](const Tuple& t) { return !IsTrue(valueAt(t, *call.Args[1])); });
        return set;
    }
    if (name == "order" || name == "topcount" || name == "bottomcount") {
        need(2);
        TupleList set = EvalSet(*call.Args[0]);
        const Expr* key = name == "order" ? call.Args[1].get() : arg(2);
        bool descending = name == "topcount";
        bool hierarchical = name == "order";
        if (name == "order" && arg(2)) {
            const std::string flag = Flag(*arg(2));
            descending = flag == "desc" || flag == "bdesc";
            hierarchical = flag != "basc" && flag != "bdesc";
        }
        if (key && hierarchical) {
            set = OrderHierarchically(
                std::move(set), [&](const Tuple& tuple) { return valueAt(tuple, *key); },
                descending);
        } else if (key) {
            std::vector<std::pair<MdxValue, size_t>> keys;
            keys.reserve(set.size());
            for (size_t i = 0; i < set.size(); ++i) keys.emplace_back(valueAt(set[i], *key), i);
            std::stable_sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
                const int c = Compare(a.first, b.first);
                return descending ? c > 0 : c < 0;
            });
            TupleList sorted;
            sorted.reserve(set.size());
            for (const auto& [value, index] : keys) sorted.push_back(set[index]);
            set = std::move(sorted);
        }
        if (name != "order") {
            const double count = AsNumber(EvalValue(*call.Args[1]));
            const size_t n = count <= 0 ? 0 : static_cast<size_t>(count);
            if (set.size() > n) set.resize(n);
        }
        return set;
    }
    if (name == "head" || name == "tail") {
        need(1);
        TupleList set = EvalSet(*call.Args[0]);
        const double count = arg(1) ? AsNumber(EvalValue(*arg(1))) : 1;
        const size_t n = std::min(set.size(), count <= 0 ? size_t{0} : static_cast<size_t>(count));
        if (name == "head") return TupleList(set.begin(), set.begin() + static_cast<long>(n));
        return TupleList(set.end() - static_cast<long>(n), set.end());
    }
    if (name == "descendants") {
        need(1);
        TupleList roots = EvalSet(*call.Args[0]);
        std::string flag = arg(2) ? Flag(*arg(2)) : "";
        int distance = -1;
        const Level* level = nullptr;
        if (arg(1)) {
            if (arg(1)->What == Expr::Kind::Number)
                distance = static_cast<int>(arg(1)->Number);
            else
                level = EvalLevel(*arg(1));
            if (flag.empty()) flag = "self";
        } else if (flag.empty()) {
            flag = "self_before_after";
        }
        TupleList result;
        for (const Tuple& root : roots) {
            Member* member = root.empty() ? nullptr : root.front();
            if (!member) continue;
            if (!member->Owner->IsMeasures) cube_.Load(*member->Owner);
            // LEAVES without a level or distance means every leaf below, however deep.
            const int target = level ? level->Depth
                               : distance < 0 && flag == "leaves"
                                   ? INT_MAX
                                   : member->Depth + std::max(distance, 0);
            std::function<void(Member*)> walk = [&](Member* m) {
                const bool leaf = m->Children.empty();
                bool take = false;
                if (flag == "self")
                    take = m->Depth == target;
                else if (flag == "after")
                    take = m->Depth > target;
                else if (flag == "before")
                    take = m->Depth < target && m->Depth >= member->Depth;
                else if (flag == "before_and_after")
                    take = m->Depth != target;
                else if (flag == "self_and_after")
                    take = m->Depth >= target;
                else if (flag == "self_and_before")
                    take = m->Depth <= target;
                else if (flag == "self_before_after")
                    take = true;
                else if (flag == "leaves")
                    take = leaf && m->Depth <= target;
                else
                    Fail(call, "Descendants does not know the flag " + flag);
                if (take) result.push_back({m});
                if (flag == "self" && m->Depth >= target) return;
                for (Member* child : m->Children) walk(child);
            };
            walk(member);
        }
        return result;
    }
    if (name == "nonempty") {
        need(1);
        TupleList set = EvalSet(*call.Args[0]);
        const TupleList others = arg(1) ? EvalSet(*arg(1)) : TupleList{{}};
        std::erase_if(set, [&](const Tuple& t) {
            for (const Tuple& other : others) {
                Tuple both = t;
                both.insert(both.end(), other.begin(), other.end());
                if (!ValueAt(both).IsEmpty()) return false;
            }
            return true;
        });
        return set;
    }
    if (name == "generate") {
        need(2);
        const TupleList outer = EvalSet(*call.Args[0]);
        const bool all = arg(2) && Flag(*arg(2)) == "all";
        TupleList result;
        TupleSeen kept;
        for (const Tuple& t : outer) {
            std::vector<Member*> saved = context_;
            for (Member* member : t)
                if (member) context_[static_cast<size_t>(member->Owner->Index)] = member;
            TupleList inner = EvalSet(*call.Args[1]);
            context_ = std::move(saved);
            for (Tuple& u : inner)
                if (all || kept.Insert(u)) result.push_back(std::move(u));
        }
        return result;
    }
    if (name == "ytd" || name == "qtd" || name == "mtd" || name == "periodstodate") {
        Member* member = nullptr;
        const Expr* memberArg = name == "periodstodate" ? arg(1) : arg(0);
        const Level* level = name == "periodstodate" && arg(0) ? EvalLevel(*arg(0)) : nullptr;
        if (memberArg) {
            member = EvalMember(*memberArg);
        } else {
            Hierarchy* time = level ? level->Owner : nullptr;
            if (!time)
                for (auto& h : cube_.Hierarchies())
                    if (h->IsTime && !time) time = h.get();
            if (!time) Fail(call, call.Text + " needs a time dimension");
            member = CurrentMember(*time);
        }
        if (!member) return {};
        int depth = level ? level->Depth : (member->Depth > 0 ? member->Depth - 1 : 0);
        if (name != "periodstodate") {
            const char* wanted = name == "ytd"   ? "TimeYears"
                                 : name == "qtd" ? "TimeQuarters"
                                                 : "TimeMonths";
            depth = -1;
            for (const Level& l : member->Owner->Levels)
                if (l.Definition && l.Definition->LevelType == wanted) depth = l.Depth;
            if (depth < 0) Fail(call, call.Text + " needs a level of type " + wanted);
        }
        Member* ancestor = Ancestor(member, depth);
        if (!ancestor) return {};
        Member* first = ancestor;
        while (first && first->Depth < member->Depth)
            first = first->Children.empty() ? nullptr : first->Children.front();
        if (!first) return {};
        const auto& level_ = member->Owner->ByLevel[static_cast<size_t>(member->Depth)];
        TupleList set;
        for (size_t i = first->LevelIndex; i <= member->LevelIndex && i < level_.size(); ++i)
            set.push_back({level_[i]});
        return set;
    }
    Fail(call, "Unknown set function " + call.Text);
}

}  // namespace orvik::cube
