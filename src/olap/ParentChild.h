// Parent-child levels: a level whose rows name their parent row's key, so that its members form
// a tree of any depth (an organisation chart) under one level definition. The model reads the
// rows as flat members and hangs them under each other here; cells of such a member cover its
// whole subtree, through the level's closure table when the schema names one, else through the
// subtree's keys, which the loaded tree already holds.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "olap/CubeModel.h"

namespace orvik::cube {

// A member of a parent-child level as read, with its row's parent key (nullopt: NULL).
struct ParentLink {
    Member* Child = nullptr;
    std::optional<std::string> ParentKey;
};

// Trees deeper than this are refused: unique names grow with depth, and a hostile table could
// otherwise make them take memory by the square of its row count.
constexpr int kMaxParentChildDepth = 250;

// Hangs every linked member under the member its parent key names. Roots are the members whose
// parent is NULL, the level's null parent value, their own key, or a key no row has (an orphan:
// kept visible at the top rather than dropped). Depths and unique names (the path of names from
// the top) are set afresh. Throws CADOException naming the keys when parent links run in a loop,
// and when the tree is deeper than kMaxParentChildDepth.
void LinkParentChild(Hierarchy& hierarchy, const LevelDefinition& level,
                     const std::vector<ParentLink>& links);

// The condition that selects the fact rows of `member` and of every member below it.
std::string SubtreePredicate(const CubeModel& cube, const Member& member);

// How to group cells by parent-child members of one depth (whose subtrees never overlap): a join
// to add to the FROM clause (may be empty), the grouping column whose values are the members'
// keys, and the condition keeping only their subtrees' rows. `index` keeps the join's alias
// apart from other hierarchies'.
struct SubtreeGrouping {
    std::string Join;
    std::string Column;
    std::string Condition;
};
SubtreeGrouping SubtreeGroups(const CubeModel& cube, const std::vector<const Member*>& members,
                              size_t index);

}  // namespace orvik::cube
