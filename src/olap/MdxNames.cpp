// The evaluator's names: [Store].[USA].[CA] resolved to a member, a level, a hierarchy or a named
// set, and the calculated members a query defines WITH.
#include <algorithm>

#include "olap/MdxEvaluator.h"
#include "olap/MdxLexer.h"
#include "olap/MdxValueRules.h"
#include "olap/NameCase.h"

namespace orvik::cube {

using mdx::Expr;
using namespace mdxvalue;

Hierarchy* QueryEvaluator::FindHierarchy(const std::string& name) {
    for (auto& hierarchy : cube_.Hierarchies())
        if (!hierarchy->IsMeasures && SameName(hierarchy->DimensionName, name))
            return hierarchy.get();
    // "[Time.Weekly]": a dimension's further hierarchy written in one part.
    const size_t dot = name.find('.');
    if (dot != std::string::npos)
        for (auto& hierarchy : cube_.Hierarchies())
            if (SameName(hierarchy->DimensionName, name.substr(0, dot)) &&
                SameName(hierarchy->Name, name.substr(dot + 1)))
                return hierarchy.get();
    return nullptr;
}

Member* QueryEvaluator::FindCalculated(Hierarchy& hierarchy, Member* parent,
                                       const std::string& name) {
    const Member* wanted = parent && parent->IsAll ? nullptr : parent;
    auto matches = [&](Member* member) {
        const Member* owner = member->Parent && member->Parent->IsAll ? nullptr : member->Parent;
        return member->Owner == &hierarchy && owner == wanted && SameName(member->Name, name);
    };
    for (auto it = queryCalculated_.rbegin(); it != queryCalculated_.rend(); ++it)
        if (matches(*it)) return *it;
    for (Member* member : hierarchy.CalculatedMembers)
        if (matches(member)) return member;
    return nullptr;
}

Member* QueryEvaluator::FindChild(Hierarchy& hierarchy, Member* parent,
                                  const mdx::NameSegment& segment) {
    if (!hierarchy.IsMeasures) cube_.Load(hierarchy);
    const std::vector<Member*>* candidates = nullptr;
    if (parent) {
        candidates = &parent->Children;
    } else {
        Member* all = hierarchy.All();
        if (all && !segment.IsKey && SameName(all->Name, segment.Name)) return all;
        candidates = all ? &all->Children : &hierarchy.Roots;
    }
    for (Member* member : *candidates)
        if (segment.IsKey ? member->Key == segment.Name : member->Name == segment.Name)
            return member;
    if (!segment.IsKey) {
        for (Member* member : *candidates)
            if (SameName(member->Name, segment.Name)) return member;
        return FindCalculated(hierarchy, parent, segment.Name);
    }
    return nullptr;
}

Member* QueryEvaluator::FindInLevel(Level& level, const mdx::NameSegment& segment) {
    for (Member* member : LevelMembers(level))
        if (segment.IsKey ? member->Key == segment.Name : SameName(member->Name, segment.Name))
            return member;
    Hierarchy& hierarchy = *level.Owner;
    if (segment.IsKey && static_cast<size_t>(level.Depth) + 1 == hierarchy.Levels.size()) {
        auto found = hierarchy.ByPrimaryKey.find(segment.Name);
        if (found != hierarchy.ByPrimaryKey.end()) return found->second;
    }
    return nullptr;
}

std::vector<Member*> QueryEvaluator::LevelMembers(const Level& level) {
    if (!level.Owner->IsMeasures) cube_.Load(*level.Owner);
    if (level.Owner->IsMeasures) {
        std::vector<Member*> visible;
        for (Member* member : level.Owner->Roots)
            if (member->Visible) visible.push_back(member);
        return visible;
    }
    return level.Owner->ByLevel[static_cast<size_t>(level.Depth)];
}

bool QueryEvaluator::TryResolve(const std::vector<mdx::NameSegment>& segments, Resolved& out) {
    if (segments.empty()) return false;
    const mdx::NameSegment& first = segments[0];
    if (segments.size() == 1 && !first.IsKey) {
        auto set = sets_.find(LowerAscii(first.Name));
        if (set != sets_.end()) {
            out.SetFormula = set->second.Formula.get();
            out.SetName = set->first;
            return true;
        }
    }
    size_t i = 0;
    Hierarchy* hierarchy = nullptr;
    Member* member = nullptr;
    if (!first.IsKey && SameName(first.Name, "Measures")) {
        hierarchy = &cube_.Measures();
        i = 1;
    } else if (!first.IsKey && (hierarchy = FindHierarchy(first.Name))) {
        i = 1;
        if (i < segments.size() && !segments[i].IsKey) {
            const bool isLevel = std::any_of(
                hierarchy->Levels.begin(), hierarchy->Levels.end(),
                [&](const Level& level) { return SameName(level.Name, segments[1].Name); });
            if (!isLevel)
                for (auto& other : cube_.Hierarchies())
                    if (other->DimensionName == hierarchy->DimensionName &&
                        SameName(other->Name, segments[1].Name)) {
                        hierarchy = other.get();
                        ++i;
                        break;
                    }
        }
    } else {
        // A member named without its dimension: [1997].[Q1].
        for (auto& candidate : cube_.Hierarchies()) {
            if (candidate->IsMeasures) continue;
            if ((member = FindChild(*candidate, nullptr, first))) {
                hierarchy = candidate.get();
                i = 1;
                break;
            }
        }
        // Else a measure named without its dimension: KPI_Value, as a bare WITH MEMBER defines it.
        if (!member && segments.size() == 1 && !first.IsKey) {
            Hierarchy& measures = cube_.Measures();
            Member* measure = FindCalculated(measures, nullptr, first.Name);
            for (Member* stored : measures.Roots)
                if (!measure && SameName(stored->Name, first.Name)) measure = stored;
            if (measure) {
                out.TheMember = measure;
                return true;
            }
        }
        if (!member) return false;
    }
    if (!member && i == segments.size()) {
        out.TheHierarchy = hierarchy;
        return true;
    }
    if (!member && hierarchy->IsMeasures) {
        for (Member* measure : hierarchy->Roots)
            if (SameName(measure->Name, segments[i].Name)) member = measure;
        if (!member) member = FindCalculated(*hierarchy, nullptr, segments[i].Name);
        if (!member || i + 1 != segments.size()) return false;
        out.TheMember = member;
        return true;
    }
    if (!member && !segments[i].IsKey) {
        for (Level& level : hierarchy->Levels) {
            if (!SameName(level.Name, segments[i].Name)) continue;
            ++i;
            if (i == segments.size()) {
                out.TheLevel = &level;
                return true;
            }
            member = FindInLevel(level, segments[i]);
            if (!member) return false;
            ++i;
            break;
        }
    }
    if (!member) {
        member = FindChild(*hierarchy, nullptr, segments[i]);
        if (!member) return false;
        ++i;
    }
    for (; i < segments.size(); ++i) {
        member = FindChild(*hierarchy, member, segments[i]);
        if (!member) return false;
    }
    out.TheMember = member;
    return true;
}

QueryEvaluator::Resolved QueryEvaluator::Resolve(const Expr& name) {
    Resolved resolved;
    if (!TryResolve(name.Segments, resolved))
        Fail(name, "MDX object '" + mdx::SegmentsToString(name.Segments) + "' not found in cube '" +
                       cube_.Definition().Name + "'");
    return resolved;
}

void QueryEvaluator::DefineMember(const mdx::FormulaDefinition& definition) {
    const std::vector<mdx::NameSegment>& name = definition.Name;
    Hierarchy* hierarchy = nullptr;
    Member* parent = nullptr;
    if (name.size() >= 2) {
        Resolved owner;
        const std::vector<mdx::NameSegment> head(name.begin(), name.end() - 1);
        if (TryResolve(head, owner)) {
            hierarchy = owner.TheHierarchy;
            if (owner.TheMember) {
                parent = owner.TheMember;
                hierarchy = parent->Owner;
            }
        }
    }
    // A bare name (WITH MEMBER KPI_Value AS ...) is a calculated measure, as servers take it.
    if (name.size() == 1) hierarchy = &cube_.Measures();
    if (!hierarchy)
        throw MdxEvaluationError("The calculated member " + mdx::SegmentsToString(name) +
                                 " does not name a dimension of cube '" + cube_.Definition().Name +
                                 "' (at " + mdx::DescribePosition(text_, definition.Position) +
                                 ")");
    Member& member = queryMembers_.emplace_back();
    // The formula stays owned by the statement, which outlives this evaluator's run.
    std::shared_ptr<const Expr> formula(definition.Formula.get(), [](const Expr*) {});
    InitCalculated(member, *hierarchy, parent, name.back().Name, formula,
                   1000000 + queryCalculated_.size());
    for (const auto& [property, value] : definition.Properties) {
        if (property == "FORMAT_STRING" || property == "FORMAT") {
            member.FormatString = AsText(EvalValue(*value));
        } else if (property == "SOLVE_ORDER") {
            member.SolveOrder = static_cast<int>(AsNumber(EvalValue(*value)));
        } else if (property == "VISIBLE") {
            member.Visible = IsTrue(EvalValue(*value));
        }
    }
    queryCalculated_.push_back(&member);
}

}  // namespace orvik::cube
