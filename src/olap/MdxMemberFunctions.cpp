// The evaluator's members: moving from one member to another (Parent, Lead, Ancestor, Cousin,
// ...), the current member of a hierarchy, and a member's level and hierarchy.
#include <algorithm>
#include <functional>

#include "olap/MdxEvaluator.h"
#include "olap/MdxValueRules.h"

namespace orvik::cube {

using mdx::Expr;
using namespace mdxvalue;

Level* QueryEvaluator::LevelOf(Member* member) const {
    return &member->Owner->Levels[LevelIndexOf(*member)];
}

bool QueryEvaluator::IsAncestor(const Member* ancestor, const Member* member) const {
    for (const Member* m = member ? member->Parent : nullptr; m; m = m->Parent)
        if (m == ancestor) return true;
    return false;
}

Member* QueryEvaluator::Lead(Member* member, long offset) {
    if (!member || member->Calculated) return nullptr;
    if (!member->Owner->IsMeasures) cube_.Load(*member->Owner);
    const auto& level = member->Owner->ByLevel[LevelIndexOf(*member)];
    const long index = static_cast<long>(member->LevelIndex) + offset;
    if (index < 0 || index >= static_cast<long>(level.size())) return nullptr;
    return level[static_cast<size_t>(index)];
}

Member* QueryEvaluator::Ancestor(Member* member, int depth) {
    while (member && member->Depth > depth) member = member->Parent;
    return member && member->Depth == depth ? member : nullptr;
}

// The member in the same position under `ancestor` as `member` has under its own ancestor.
Member* QueryEvaluator::Cousin(Member* member, Member* ancestor) {
    if (!member || !ancestor) return nullptr;
    std::vector<size_t> path;
    Member* m = member;
    for (; m && m->Depth > ancestor->Depth; m = m->Parent) {
        const auto& siblings = SiblingsOf(*m);
        path.push_back(
            static_cast<size_t>(std::find(siblings.begin(), siblings.end(), m) - siblings.begin()));
    }
    Member* cousin = ancestor;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        if (*it >= cousin->Children.size()) return nullptr;
        cousin = cousin->Children[*it];
    }
    return cousin;
}

Member* QueryEvaluator::CurrentMember(Hierarchy& hierarchy) {
    Member* member = context_[static_cast<size_t>(hierarchy.Index)];
    return member ? member : cube_.DefaultMember(hierarchy);
}

std::vector<Member*> QueryEvaluator::Members(Hierarchy& hierarchy) {
    if (hierarchy.IsMeasures) return LevelMembers(hierarchy.Levels.front());
    cube_.Load(hierarchy);
    std::vector<Member*> members;
    std::function<void(Member*)> walk = [&](Member* member) {
        members.push_back(member);
        for (Member* child : member->Children) walk(child);
    };
    for (Member* root : hierarchy.Roots) walk(root);
    return members;
}

const std::vector<Member*>& QueryEvaluator::ChildrenOf(Member& member) {
    if (!member.Owner->IsMeasures) cube_.Load(*member.Owner);
    return member.Children;
}

const std::vector<Member*>& QueryEvaluator::SiblingsOf(const Member& member) {
    if (!member.Owner->IsMeasures) cube_.Load(*member.Owner);  // it may be read only in part
    return member.Parent ? member.Parent->Children : member.Owner->Roots;
}

namespace {

// The first or the last of `members`; null when there are none.
Member* FirstOrLast(const std::vector<Member*>& members, bool last) {
    if (members.empty()) return nullptr;
    return last ? members.back() : members.front();
}

}  // namespace

struct QueryEvaluator::MemberFunctions {
    // The member a function moves from: its first argument.
    static Member* Subject(QueryEvaluator& e, const Expr& call) {
        const Expr* member = GivenArgument(call, 0);
        if (!member) e.Fail(call, call.Text + " needs a member");
        return e.EvalMember(*member);
    }

    static Hierarchy* HierarchyArgument(QueryEvaluator& e, const Expr& call) {
        const Expr* hierarchy = GivenArgument(call, 0);
        if (!hierarchy) e.Fail(call, call.Text + " needs a hierarchy");
        return e.EvalHierarchy(*hierarchy);
    }

    static Member* CurrentMember(QueryEvaluator& e, const Expr& call) {
        return e.CurrentMember(*HierarchyArgument(e, call));
    }

    static Member* DefaultMember(QueryEvaluator& e, const Expr& call) {
        return e.cube_.DefaultMember(*HierarchyArgument(e, call));
    }

    static Member* DataMember(QueryEvaluator& e, const Expr& call) { return Subject(e, call); }

    static Member* Parent(QueryEvaluator& e, const Expr& call) {
        Member* member = Subject(e, call);
        return member ? member->Parent : nullptr;
    }

    static Member* PrevMember(QueryEvaluator& e, const Expr& call) {
        return e.Lead(Subject(e, call), -1);
    }

    static Member* NextMember(QueryEvaluator& e, const Expr& call) {
        return e.Lead(Subject(e, call), 1);
    }

    // Lead and Lag: `direction` 1 moves forward.
    static Member* Step(QueryEvaluator& e, const Expr& call, long direction) {
        Member* member = Subject(e, call);
        if (!member) return nullptr;
        const Expr* distance = GivenArgument(call, 1);
        if (!distance) e.Fail(call, call.Text + " needs a distance");
        return e.Lead(member, direction * static_cast<long>(AsNumber(e.EvalValue(*distance))));
    }
    static Member* Lead(QueryEvaluator& e, const Expr& call) { return Step(e, call, 1); }
    static Member* Lag(QueryEvaluator& e, const Expr& call) { return Step(e, call, -1); }

    static Member* FirstChild(QueryEvaluator& e, const Expr& call) {
        Member* member = Subject(e, call);
        return member ? FirstOrLast(e.ChildrenOf(*member), false) : nullptr;
    }

    static Member* LastChild(QueryEvaluator& e, const Expr& call) {
        Member* member = Subject(e, call);
        return member ? FirstOrLast(e.ChildrenOf(*member), true) : nullptr;
    }

    static Member* FirstSibling(QueryEvaluator& e, const Expr& call) {
        Member* member = Subject(e, call);
        return member ? FirstOrLast(e.SiblingsOf(*member), false) : nullptr;
    }

    static Member* LastSibling(QueryEvaluator& e, const Expr& call) {
        Member* member = Subject(e, call);
        return member ? FirstOrLast(e.SiblingsOf(*member), true) : nullptr;
    }

    static Member* Ancestor(QueryEvaluator& e, const Expr& call) {
        Member* member = Subject(e, call);
        if (!member) return nullptr;
        const Expr* target = GivenArgument(call, 1);
        if (!target) e.Fail(call, "Ancestor needs a level or a distance");
        if (target->What == Expr::Kind::Number)
            return e.Ancestor(member, member->Depth - static_cast<int>(target->Number));
        // Every member of a parent-child level is its own ancestor at that level.
        const Level* level = e.EvalLevel(*target);
        if (level == e.LevelOf(member)) return member;
        return e.Ancestor(member, level->Depth);
    }

    static Member* Cousin(QueryEvaluator& e, const Expr& call) {
        Member* member = Subject(e, call);
        if (!member) return nullptr;
        const Expr* ancestor = GivenArgument(call, 1);
        if (!ancestor) e.Fail(call, "Cousin needs an ancestor member");
        return e.Cousin(member, e.EvalMember(*ancestor));
    }

    static Level* MemberLevel(QueryEvaluator& e, const Expr& call) {
        Member* member = e.EvalMember(*call.Args[0]);
        return member ? e.LevelOf(member) : nullptr;
    }

    // Hierarchy and Dimension: a dimension here has the one hierarchy it is named by.
    static Hierarchy* MemberHierarchy(QueryEvaluator& e, const Expr& call) {
        return e.EvalHierarchy(*call.Args[0]);
    }
};

std::span<const MdxFunction> QueryEvaluator::MemberFunctionEntries() {
    using F = MemberFunctions;
    constexpr MdxCallForm kEither = MdxCallForm::Either;
    constexpr MdxCallForm kMethod = MdxCallForm::Method;
    static const MdxFunction kEntries[] = {
        {"Ancestor", kEither, 2, 2, &F::Ancestor},
        {"Cousin", kEither, 2, 2, &F::Cousin},
        {"CurrentMember", kEither, 1, 1, &F::CurrentMember},
        {"DataMember", kEither, 1, 1, &F::DataMember},
        {"DefaultMember", kEither, 1, 1, &F::DefaultMember},
        {"Dimension", kMethod, 1, 1, &F::MemberHierarchy},
        {"FirstChild", kEither, 1, 1, &F::FirstChild},
        {"FirstSibling", kEither, 1, 1, &F::FirstSibling},
        {"Hierarchy", kMethod, 1, 1, &F::MemberHierarchy},
        {"Lag", kEither, 2, 2, &F::Lag},
        {"LastChild", kEither, 1, 1, &F::LastChild},
        {"LastSibling", kEither, 1, 1, &F::LastSibling},
        {"Lead", kEither, 2, 2, &F::Lead},
        {"Level", kMethod, 1, 1, &F::MemberLevel},
        {"NextMember", kEither, 1, 1, &F::NextMember},
        {"Parent", kEither, 1, 1, &F::Parent},
        {"PrevMember", kEither, 1, 1, &F::PrevMember},
    };
    return kEntries;
}

}  // namespace orvik::cube
