#include "olap/ParentChild.h"

#include <set>
#include <unordered_map>
#include <unordered_set>

#include "data/AdoException.h"

namespace orvik::cube {
namespace {

std::string LevelLabel(const Hierarchy& hierarchy, const LevelDefinition& level) {
    return "The parent-child level '" + level.Name + "' of " + hierarchy.UniqueName;
}

bool IsRootLink(const ParentLink& link, const LevelDefinition& level,
                const std::unordered_map<std::string, Member*>& byKey) {
    if (!link.ParentKey) return true;
    const std::string& parent = *link.ParentKey;
    if (!level.NullParentValue.empty() && parent == level.NullParentValue) return true;
    // A row naming itself as its parent is a common way of marking the top.
    return parent == link.Child->Key || !byKey.count(parent);
}

// The keys of one loop among `unreached` members (which no root leads to): following parents
// from any of them must come back around, since every one has a parent.
std::string LoopKeys(const std::vector<Member*>& unreached) {
    std::unordered_set<const Member*> seen;
    const Member* member = unreached.front();
    while (seen.insert(member).second) member = member->Parent;
    std::string keys;
    const Member* start = member;
    int shown = 0;
    do {
        keys += (keys.empty() ? "" : " -> ") + member->Key;
        member = member->Parent;
    } while (member != start && ++shown < 10);
    return keys + (member == start ? " -> " + start->Key : " -> ...");
}

void Detach(Hierarchy& hierarchy, const std::unordered_set<const Member*>& linked) {
    Member* all = hierarchy.All();
    auto& top = all ? all->Children : hierarchy.Roots;
    std::erase_if(top, [&](const Member* m) { return linked.count(m) > 0; });
}

// Sets depths and unique names from the roots down, breadth first: no recursion however the
// links run, and each parent's unique name is ready before its children's.
std::vector<Member*> NameFromTop(Hierarchy& hierarchy, const LevelDefinition& level,
                                 const std::vector<Member*>& roots) {
    std::vector<Member*> queue = roots;
    const int rootDepth = hierarchy.HasAll() ? 1 : 0;
    for (size_t i = 0; i < queue.size(); ++i) {
        Member* member = queue[i];
        member->Depth =
            member->Parent && !member->Parent->IsAll ? member->Parent->Depth + 1 : rootDepth;
        if (member->Depth - rootDepth >= kMaxParentChildDepth)
            throw CADOException(AdoError::Failure, LevelLabel(hierarchy, level) +
                                                       " nests deeper than " +
                                                       std::to_string(kMaxParentChildDepth) +
                                                       " levels (at the key " + member->Key + ")");
        member->UniqueName = ChildUniqueName(hierarchy, member->Parent, member->Name);
        queue.insert(queue.end(), member->Children.begin(), member->Children.end());
    }
    return queue;
}

const LevelDefinition& LevelOfMember(const Member& member) {
    return *member.Owner->Levels[LevelIndexOf(member)].Definition;
}

// `member` and every member below it, the member itself first.
std::vector<const Member*> Subtree(const Member& member) {
    std::vector<const Member*> members{&member};
    for (size_t i = 0; i < members.size(); ++i)
        members.insert(members.end(), members[i]->Children.begin(), members[i]->Children.end());
    return members;
}

std::string KeyList(const std::vector<std::string>& keys) {
    std::string list;
    for (const std::string& key : keys) list += (list.empty() ? "" : ", ") + key;
    return list;
}

std::string InCondition(const std::string& column, const std::vector<std::string>& keys) {
    return keys.empty() ? "1=0" : column + " IN (" + KeyList(keys) + ")";
}

}  // namespace

void LinkParentChild(Hierarchy& hierarchy, const LevelDefinition& level,
                     const std::vector<ParentLink>& links) {
    std::unordered_map<std::string, Member*> byKey;
    std::unordered_set<const Member*> linked;
    for (const ParentLink& link : links) {
        byKey.emplace(link.Child->Key, link.Child);
        linked.insert(link.Child);
    }
    Detach(hierarchy, linked);
    Member* all = hierarchy.All();
    std::vector<Member*> roots;
    for (const ParentLink& link : links) {
        Member* child = link.Child;
        child->Children.clear();
        if (IsRootLink(link, level, byKey)) {
            child->Parent = all;
            roots.push_back(child);
            (all ? all->Children : hierarchy.Roots).push_back(child);
        } else {
            child->Parent = byKey.at(*link.ParentKey);
        }
    }
    for (const ParentLink& link : links)
        if (link.Child->Parent && !link.Child->Parent->IsAll)
            link.Child->Parent->Children.push_back(link.Child);
    const std::vector<Member*> reached = NameFromTop(hierarchy, level, roots);
    if (reached.size() == links.size()) return;
    // Every member left over has a parent that is left over too, so its parents run in a loop.
    const std::unordered_set<const Member*> named(reached.begin(), reached.end());
    std::vector<Member*> unreached;
    for (const ParentLink& link : links)
        if (!named.count(link.Child)) unreached.push_back(link.Child);
    throw CADOException(
        AdoError::Failure,
        LevelLabel(hierarchy, level) +
            " has parent links that run in a loop (each key's parent is the next): " +
            LoopKeys(unreached));
}

std::string SubtreePredicate(const CubeModel& cube, const Member& member) {
    const LevelDefinition& level = LevelOfMember(member);
    const std::string key = cube.ColumnSql(*member.Owner, level.Key);
    if (member.KeySql == "NULL") return key + " IS NULL";
    if (level.Closure.Present()) {
        const ClosureDefinition& closure = level.Closure;
        return key + " IN (SELECT " + cube.Quote(closure.ChildColumn) + " FROM " +
               cube.Quote(closure.Table) + " WHERE " + cube.Quote(closure.ParentColumn) + " = " +
               member.KeySql + ")";
    }
    std::vector<std::string> keys;
    for (const Member* m : Subtree(member))
        if (m->KeySql != "NULL") keys.push_back(m->KeySql);
    return InCondition(key, keys);
}

SubtreeGrouping SubtreeGroups(const CubeModel& cube, const std::vector<const Member*>& members,
                              size_t index) {
    const LevelDefinition& level = LevelOfMember(*members.front());
    const std::string key = cube.ColumnSql(*members.front()->Owner, level.Key);
    std::set<const Member*> distinct(members.begin(), members.end());
    SubtreeGrouping grouping;
    if (level.Closure.Present()) {
        const ClosureDefinition& closure = level.Closure;
        const std::string alias = cube.Quote("pc_closure_" + std::to_string(index));
        grouping.Join = " JOIN " + cube.Quote(closure.Table) + " " + alias + " ON " + alias + "." +
                        cube.Quote(closure.ChildColumn) + " = " + key;
        grouping.Column = alias + "." + cube.Quote(closure.ParentColumn);
        std::vector<std::string> keys;
        for (const Member* member : distinct)
            if (member->KeySql != "NULL") keys.push_back(member->KeySql);
        grouping.Condition = InCondition(grouping.Column, keys);
        return grouping;
    }
    // Without a closure table each row's key is mapped to the requested member above it; the
    // database still does the aggregation, so distinct counts and averages stay right.
    std::vector<std::string> keys;
    std::string cases;
    for (const Member* member : distinct) {
        if (member->KeySql == "NULL") continue;
        for (const Member* m : Subtree(*member)) {
            if (m->KeySql == "NULL") continue;
            keys.push_back(m->KeySql);
            cases += " WHEN " + m->KeySql + " THEN " + member->KeySql;
        }
    }
    grouping.Column = cases.empty() ? key : "CASE " + key + cases + " END";
    grouping.Condition = InCondition(key, keys);
    return grouping;
}

}  // namespace orvik::cube
