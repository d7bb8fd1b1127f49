// One grouped SELECT over a cube's star: the fact table, the dimension tables the query touches
// joined to it, conditions on members' keys, the level keys grouped by and the measures summed.
// The query is kept as what it asks (hierarchies, levels, members, measures) and only written as
// SQL at the end, so that whatever answers it (the fact table today) is chosen once the whole
// question is known. Both the cell reader and the NON EMPTY tuple finder build their SQL here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "data/Variant.h"
#include "olap/AggregateTables.h"
#include "olap/CubeModel.h"

namespace orvik::cube {

class StarQuery {
  public:
    // A query over the fact table of `base` (the cube that holds the measures; in a virtual
    // cube, one of those it combines) with the hierarchies of `cube`.
    StarQuery(const CubeModel& cube, const CubeDefinition& base);

    // Joins `hierarchy`'s tables to the fact table; false when the base cube does not have the
    // hierarchy (its cells then exist only at the All member).
    bool Join(const Hierarchy& hierarchy);

    // Rows of `member` only: its key, and its ancestors' keys up to the nearest level whose keys
    // are unique. Its hierarchy must be joined.
    void WhereMember(const Member& member);
    // Rows whose key at `depth` of `hierarchy` is one of `keys` (SQL literals) or, with
    // `null`, missing.
    void WhereKeyIn(const Hierarchy& hierarchy, int depth, const std::vector<std::string>& keys,
                    bool null);
    // Rows of any of `tuples`, each the rows of all its members (a compound slicer). Members
    // of hierarchies the base cube lacks make their tuple match nothing; the All member and
    // measures match everything.
    void WhereAnyTuple(const std::vector<std::vector<Member*>>& tuples);
    // Groups by the key of `hierarchy`'s level at `depth`, selected in the order of the calls.
    void GroupBy(const Hierarchy& hierarchy, int depth);
    // Groups by the fact table's foreign key to `hierarchy`'s dimension table: one group per
    // dimension row, with no join when nothing else reads the dimension. The caller maps the
    // keys to members, which is exact for a lowest level whose members each have one row. An
    // aggregate table that keeps the level's own columns instead makes the query group by
    // those, from FirstKeyDepth down; GroupedByForeignKey says which it was once Sql() has
    // been written. False when the base
    // cube lacks the hierarchy.
    bool GroupByForeignKey(const Hierarchy& hierarchy);
    bool GroupedByForeignKey(size_t group) const { return byForeignKey_[group]; }
    // Groups by `members` of a parent-child level, all of one depth, each standing for its
    // whole subtree; selected among the grouped keys in the order of the calls.
    void GroupBySubtrees(const std::vector<const Member*>& members);
    // Selects a stored measure after the grouped keys, in the order of the calls.
    void Select(const MeasureDefinition& measure);

    // The groups asked for so far.
    size_t Groups() const { return groups_.size(); }
    // The key columns selected before the measures, once Sql() has been written: a group by
    // foreign key that an aggregate answers by its level columns takes one per level.
    size_t KeyColumns() const { return keyColumns_; }
    std::string Sql() const;

    // The first level at or above `depth` from which a member's path of keys names it: the
    // nearest level whose keys are unique, or the top.
    static int FirstKeyDepth(const Hierarchy& hierarchy, int depth);

  private:
    struct Level {
        const Hierarchy* Owner;
        int Depth;
    };
    // One condition of the WHERE clause: rows of any of `Tuples` (one tuple: a member's rows),
    // or rows whose key at `Keys` is one of `Literals`.
    struct Condition {
        std::vector<std::vector<const Member*>> Tuples;
        Level Keys{nullptr, 0};
        std::vector<std::string> Literals;
        bool Null = false;
    };
    std::string KeyColumn(const Level& level) const;
    // The column group `g` is written as; settles GroupedByForeignKey for it.
    std::string GroupColumn(size_t g) const;
    // What the aliases of a newly joined hierarchy's tables are followed by.
    std::string AliasSuffix(const DimensionDefinition& dimension, const HierarchyDefinition& own);
    std::string MemberSql(const Member& member) const;
    std::string ConditionSql(const Condition& condition) const;
    std::string FromSql() const;
    // The smallest aggregate table that answers the whole question, if any does.
    std::optional<AggregateChoice> ChooseAggregate() const;
    std::string AggregateColumn(const std::string& column) const;

    const CubeModel& cube_;
    const CubeDefinition& base_;
    std::vector<const Hierarchy*> joined_;
    std::vector<std::string> suffixes_;  // one per joined hierarchy
    struct TableUse {
        std::string KeyTable, ForeignKey, Suffix;
    };
    std::vector<TableUse> tableUses_;
    std::vector<Condition> conditions_;
    std::vector<Level> groups_;
    // Per grouped key: the SQL of a parent-child grouping, empty for a level's key column.
    std::vector<std::string> subtreeColumns_;
    std::vector<std::string> subtreeJoins_, subtreeConditions_;
    // Per grouped key: the dimension's foreign key when grouped by it ("" otherwise), and
    // whether the written query does.
    std::vector<std::string> foreignKeys_;
    mutable std::vector<bool> byForeignKey_;
    mutable size_t keyColumns_ = 0;
    std::vector<const MeasureDefinition*> measures_;
    // What Sql() reads from, chosen as it starts: an aggregate table, or none for the fact table.
    mutable std::optional<AggregateChoice> aggregate_;
};

// What a cell holds of `value`, the aggregate the query read for `measure`: counts as integers,
// other numbers as doubles, nothing for NULL.
Variant MeasureCellValue(const MeasureDefinition& measure, const Variant& value);

// The cube of `schema` named `name` that holds a virtual cube's measures; `cube` itself when it
// is not virtual. Throws CADOException when there is none.
const CubeDefinition& BaseCube(const SchemaDefinition& schema, const CubeDefinition& cube,
                               const std::string& name);

}  // namespace orvik::cube
