#include "olap/StarQuery.h"

#include <algorithm>
#include <set>

#include "data/AdoException.h"
#include "olap/ParentChild.h"

namespace orvik::cube {
namespace {

struct FlatRelation {
    std::vector<std::pair<std::string, std::string>> Tables;  // alias, FROM text
    struct Condition {
        std::string LeftAlias, RightAlias, Sql;
    };
    std::vector<Condition> Conditions;
};

// `relation`'s tables and join conditions, every alias followed by `suffix` (a second use of
// the same tables through another foreign key needs aliases of its own).
void Flatten(const CubeModel& cube, const Relation& relation, FlatRelation& flat,
             const std::string& suffix = {}) {
    if (!relation.IsJoin()) {
        const std::string alias = relation.Alias + suffix;
        std::string text = cube.Quote(relation.Table);
        if (alias != relation.Table) text += " " + cube.Quote(alias);
        flat.Tables.emplace_back(alias, text);
        return;
    }
    Flatten(cube, *relation.Left, flat, suffix);
    Flatten(cube, *relation.Right, flat, suffix);
    const std::string left = relation.LeftAlias + suffix, right = relation.RightAlias + suffix;
    flat.Conditions.push_back({left, right,
                               cube.Quote(left) + "." + cube.Quote(relation.LeftKey) + " = " +
                                   cube.Quote(right) + "." + cube.Quote(relation.RightKey)});
}

// The FROM clause of one query: the fact table, then each dimension's tables joined on.
class JoinPlan {
  public:
    JoinPlan(const CubeModel& cube, const Relation& fact) : cube_(cube) {
        FlatRelation flat;
        Flatten(cube, fact, flat);
        for (const auto& [alias, text] : flat.Tables) present_.insert(alias);
        sql_ = flat.Tables.front().second;
        factAlias_ = fact.FirstAlias();
    }

    // Joins `relation` to the fact table on fact.`foreignKey` = `keyTable`.`primaryKey`, its
    // aliases followed by `suffix`.
    void Add(const Relation& relation, const std::string& foreignKey, const std::string& keyTable,
             const std::string& primaryKey, const std::string& suffix) {
        FlatRelation flat;
        Flatten(cube_, relation, flat, suffix);
        const std::string key = keyTable + suffix;
        if (present_.count(key)) return;  // the same tables, joined the same way already
        std::set<std::string> added;
        for (const auto& [alias, text] : flat.Tables)
            if (alias == key) {
                sql_ += " JOIN " + text + " ON " + cube_.Quote(factAlias_) + "." +
                        cube_.Quote(foreignKey) + " = " + cube_.Quote(key) + "." +
                        cube_.Quote(primaryKey);
                present_.insert(alias);
                added.insert(alias);
            }
        if (added.empty())
            throw CADOException(AdoError::Failure, "The primary key table '" + keyTable +
                                                       "' is not among the hierarchy's tables");
        // Further tables of a snowflake, each once the table it joins to is there.
        for (bool progress = true; progress;) {
            progress = false;
            for (const auto& condition : flat.Conditions) {
                const bool left = present_.count(condition.LeftAlias) > 0;
                const bool right = present_.count(condition.RightAlias) > 0;
                if (left == right) continue;
                const std::string& missing = left ? condition.RightAlias : condition.LeftAlias;
                for (const auto& [alias, text] : flat.Tables)
                    if (alias == missing) sql_ += " JOIN " + text + " ON " + condition.Sql;
                present_.insert(missing);
                progress = true;
            }
        }
    }
    const std::string& Sql() const { return sql_; }

  private:
    const CubeModel& cube_;
    std::set<std::string> present_;
    std::string sql_;
    std::string factAlias_;
};

// The base cube's own definition of the hierarchy, and the dimension that says how it joins.
bool FindHierarchy(const CubeDefinition& base, const Hierarchy& hierarchy,
                   const DimensionDefinition*& dimension, const HierarchyDefinition*& definition) {
    for (const DimensionDefinition& d : base.Dimensions) {
        if (d.Name != hierarchy.DimensionName) continue;
        for (const HierarchyDefinition& h : d.Hierarchies)
            if ((h.Name.empty() ? d.Name : h.Name) == hierarchy.Name) {
                dimension = &d;
                definition = &h;
                return true;
            }
    }
    return false;
}

std::string AggregateSql(const CubeModel& cube, const Hierarchy& measures,
                         const MeasureDefinition& measure) {
    const std::string column =
        measure.Column.Empty() ? "*" : cube.ColumnSql(measures, measure.Column);
    if (measure.Aggregator == "count") return "COUNT(" + column + ")";
    if (measure.Aggregator == "distinct-count") return "COUNT(DISTINCT " + column + ")";
    if (measure.Aggregator == "min") return "MIN(" + column + ")";
    if (measure.Aggregator == "max") return "MAX(" + column + ")";
    if (measure.Aggregator == "avg") return "AVG(" + column + ")";
    return "SUM(" + column + ")";
}

void Append(std::string& list, const std::string& separator, const std::string& item) {
    if (!list.empty()) list += separator;
    list += item;
}

}  // namespace

const CubeDefinition& BaseCube(const SchemaDefinition& schema, const CubeDefinition& cube,
                               const std::string& name) {
    if (!cube.Virtual) return cube;
    for (const CubeDefinition& candidate : schema.Cubes)
        if (candidate.Name == name && !candidate.Virtual) return candidate;
    throw CADOException(AdoError::Failure, "The cube '" + name + "' is not in the schema");
}

Variant MeasureCellValue(const MeasureDefinition& measure, const Variant& value) {
    if (value.IsNull() || value.IsEmpty()) return Variant();
    if (measure.Aggregator == "count" || measure.Aggregator == "distinct-count") {
        const int64_t count = value.AsInt64();
        return count >= INT32_MIN && count <= INT32_MAX
                   ? Variant::MakeI4(static_cast<int32_t>(count))
                   : Variant::MakeI8(count);
    }
    if (value.Type() == VariantType::String) return value;
    return Variant::MakeR8(value.AsDouble());
}

StarQuery::StarQuery(const CubeModel& cube, const CubeDefinition& base)
    : cube_(cube), base_(base) {}

int StarQuery::FirstKeyDepth(const Hierarchy& hierarchy, int depth) {
    while (depth > (hierarchy.HasAll() ? 1 : 0) &&
           !hierarchy.Levels[static_cast<size_t>(depth)].Definition->UniqueMembers)
        --depth;
    return depth;
}

bool StarQuery::Join(const Hierarchy& hierarchy) {
    if (std::find(joined_.begin(), joined_.end(), &hierarchy) != joined_.end()) return true;
    const DimensionDefinition* dimension = nullptr;
    const HierarchyDefinition* own = nullptr;
    if (!FindHierarchy(base_, hierarchy, dimension, own)) return false;
    if (own->Table && !own->Table->HasAlias(base_.Fact->FirstAlias()) &&
        (own->PrimaryKey.empty() || dimension->ForeignKey.empty()))
        throw CADOException(AdoError::Failure, "The dimension '" + dimension->Name +
                                                   "' needs a primaryKey and a foreignKey");
    joined_.push_back(&hierarchy);
    suffixes_.push_back(AliasSuffix(*dimension, *own));
    return true;
}

std::string StarQuery::AliasSuffix(const DimensionDefinition& dimension,
                                   const HierarchyDefinition& own) {
    if (!own.Table || own.Table->HasAlias(base_.Fact->FirstAlias())) return {};
    const std::string keyTable =
        own.PrimaryKeyTable.empty() ? own.Table->FirstAlias() : own.PrimaryKeyTable;
    // Dimensions over the same tables through the same foreign key share one join; through
    // another key (an order day and a ship day over one table of days), each has its own.
    size_t uses = 0;
    for (const TableUse& use : tableUses_) {
        if (use.KeyTable != keyTable) continue;
        if (use.ForeignKey == dimension.ForeignKey) return use.Suffix;
        ++uses;
    }
    const std::string suffix = uses ? "__" + std::to_string(uses + 1) : std::string();
    tableUses_.push_back({keyTable, dimension.ForeignKey, suffix});
    return suffix;
}

void StarQuery::WhereMember(const Member& member) {
    conditions_.push_back(Condition{{{&member}}, {}, {}, false});
}

void StarQuery::WhereKeyIn(const Hierarchy& hierarchy, int depth,
                           const std::vector<std::string>& keys, bool null) {
    conditions_.push_back(Condition{{}, {&hierarchy, depth}, keys, null});
}

void StarQuery::WhereAnyTuple(const std::vector<std::vector<Member*>>& tuples) {
    Condition condition;
    for (const std::vector<Member*>& tuple : tuples) {
        std::vector<const Member*> members;
        bool possible = true;
        for (const Member* member : tuple) {
            if (!member || member->IsAll || member->Owner->IsMeasures) continue;
            if (!Join(*member->Owner)) {
                possible = false;
                break;
            }
            members.push_back(member);
        }
        if (possible) condition.Tuples.push_back(std::move(members));
    }
    conditions_.push_back(std::move(condition));
}

void StarQuery::GroupBy(const Hierarchy& hierarchy, int depth) {
    groups_.push_back({&hierarchy, depth});
    subtreeColumns_.emplace_back();
    foreignKeys_.emplace_back();
}

bool StarQuery::GroupByForeignKey(const Hierarchy& hierarchy) {
    const DimensionDefinition* dimension = nullptr;
    const HierarchyDefinition* own = nullptr;
    if (!FindHierarchy(base_, hierarchy, dimension, own)) return false;
    groups_.push_back({&hierarchy, static_cast<int>(hierarchy.Levels.size()) - 1});
    subtreeColumns_.emplace_back();
    foreignKeys_.push_back(dimension->ForeignKey);
    return true;
}

void StarQuery::GroupBySubtrees(const std::vector<const Member*>& members) {
    SubtreeGrouping grouping = SubtreeGroups(cube_, members, groups_.size());
    groups_.push_back({members.front()->Owner, members.front()->Depth});
    subtreeColumns_.push_back(std::move(grouping.Column));
    foreignKeys_.emplace_back();
    if (!grouping.Join.empty()) subtreeJoins_.push_back(std::move(grouping.Join));
    subtreeConditions_.push_back(std::move(grouping.Condition));
}

void StarQuery::Select(const MeasureDefinition& measure) {
    measures_.push_back(&measure);
}

std::string StarQuery::KeyColumn(const Level& level) const {
    if (aggregate_)
        if (const std::string column = aggregate_->LevelColumn(*level.Owner, level.Depth);
            !column.empty())
            return AggregateColumn(column);
    const ColumnExpression& key =
        level.Owner->Levels[static_cast<size_t>(level.Depth)].Definition->Key;
    const auto joined = std::find(joined_.begin(), joined_.end(), level.Owner);
    const std::string suffix = joined == joined_.end()
                                   ? std::string()
                                   : suffixes_[static_cast<size_t>(joined - joined_.begin())];
    if (suffix.empty()) return cube_.ColumnSql(*level.Owner, key);
    if (!key.Sql.empty())
        throw CADOException(AdoError::Failure,
                            "The level " +
                                level.Owner->Levels[static_cast<size_t>(level.Depth)].UniqueName +
                                " is an SQL expression over a table another dimension joins "
                                "through another foreign key; give its dimension a table alias "
                                "of its own");
    const std::string table =
        key.Table.empty() ? level.Owner->Definition->Table->FirstAlias() : key.Table;
    return cube_.Quote(table + suffix) + "." + cube_.Quote(key.Column);
}

std::string StarQuery::GroupColumn(size_t g) const {
    byForeignKey_[g] = false;
    if (!subtreeColumns_[g].empty()) return subtreeColumns_[g];
    if (foreignKeys_[g].empty()) return KeyColumn(groups_[g]);
    if (!aggregate_) {
        byForeignKey_[g] = true;
        return cube_.Quote(base_.Fact->FirstAlias()) + "." + cube_.Quote(foreignKeys_[g]);
    }
    if (const std::string join = aggregate_->JoinColumn(*groups_[g].Owner); !join.empty()) {
        byForeignKey_[g] = true;
        return AggregateColumn(join);
    }
    // The aggregate keeps the level's own keys: the path of them that names a member.
    const Level& leaf = groups_[g];
    const int first = FirstKeyDepth(*leaf.Owner, leaf.Depth);
    std::string columns;
    for (int d = first; d <= leaf.Depth; ++d) Append(columns, ", ", KeyColumn({leaf.Owner, d}));
    keyColumns_ += static_cast<size_t>(leaf.Depth - first);  // beyond the group's own one
    return columns;
}

std::string StarQuery::MemberSql(const Member& member) const {
    if (IsParentChild(member)) return SubtreePredicate(cube_, member);
    std::string sql;
    for (const Member* m = &member; m && !m->IsAll; m = m->Parent) {
        const std::string column = KeyColumn({m->Owner, m->Depth});
        Append(sql, " AND ",
               m->KeySql == "NULL" ? column + " IS NULL" : column + " = " + m->KeySql);
        if (m->Owner->Levels[static_cast<size_t>(m->Depth)].Definition->UniqueMembers)
            break;  // the key alone names it
    }
    return sql.empty() ? "1=1" : sql;
}

std::string StarQuery::ConditionSql(const Condition& condition) const {
    if (condition.Keys.Owner) {
        const std::string column = KeyColumn(condition.Keys);
        std::string sql;
        if (!condition.Literals.empty()) {
            sql = column + " IN (";
            for (size_t i = 0; i < condition.Literals.size(); ++i)
                sql += (i ? ", " : "") + condition.Literals[i];
            sql += ")";
        }
        if (condition.Null) Append(sql, " OR ", column + " IS NULL");
        return sql.empty() ? "1=0" : sql;
    }
    if (condition.Tuples.size() == 1 && condition.Tuples.front().size() == 1)
        return MemberSql(*condition.Tuples.front().front());
    std::string any;
    for (const auto& tuple : condition.Tuples) {
        std::string all;
        for (const Member* member : tuple) Append(all, " AND ", MemberSql(*member));
        Append(any, " OR ", "(" + (all.empty() ? "1=1" : all) + ")");
    }
    return any.empty() ? "1=0" : any;
}

std::string StarQuery::FromSql() const {
    Relation aggregate;
    if (aggregate_) aggregate.Table = aggregate.Alias = aggregate_->Table().Table;
    JoinPlan joins(cube_, aggregate_ ? aggregate : *base_.Fact);
    for (size_t h = 0; h < joined_.size(); ++h) {
        const Hierarchy* hierarchy = joined_[h];
        const DimensionDefinition* dimension = nullptr;
        const HierarchyDefinition* own = nullptr;
        FindHierarchy(base_, *hierarchy, dimension, own);
        if (!own->Table || own->Table->HasAlias(base_.Fact->FirstAlias())) continue;
        const std::string keyTable =
            own->PrimaryKeyTable.empty() ? own->Table->FirstAlias() : own->PrimaryKeyTable;
        // An aggregate holding the hierarchy's levels itself needs no join.
        const std::string foreignKey =
            aggregate_ ? aggregate_->JoinColumn(*hierarchy) : dimension->ForeignKey;
        if (!foreignKey.empty())
            joins.Add(*own->Table, foreignKey, keyTable, own->PrimaryKey, suffixes_[h]);
    }
    std::string sql = joins.Sql();
    for (const std::string& join : subtreeJoins_) sql += join;
    return sql;
}

std::optional<AggregateChoice> StarQuery::ChooseAggregate() const {
    AggregateTables* aggregates = cube_.Aggregates();
    // Subtrees of a parent-child level are found through the dimension's own keys, which an
    // aggregate's grain does not keep.
    if (!aggregates || !subtreeConditions_.empty()) return std::nullopt;
    AggregateNeeds needs;
    for (const MeasureDefinition* measure : measures_) needs.AddMeasure(*measure);
    for (const Level& level : groups_) needs.AddLevel(*level.Owner, level.Depth);
    for (const Condition& condition : conditions_) {
        if (condition.Keys.Owner) needs.AddLevel(*condition.Keys.Owner, condition.Keys.Depth);
        for (const auto& tuple : condition.Tuples)
            for (const Member* member : tuple) {
                if (IsParentChild(*member)) return std::nullopt;
                needs.AddMemberLevels(*member);
            }
    }
    return aggregates->Choose(base_, needs);
}

std::string StarQuery::AggregateColumn(const std::string& column) const {
    return cube_.Quote(aggregate_->Table().Table) + "." + cube_.Quote(column);
}

std::string StarQuery::Sql() const {
    aggregate_ = ChooseAggregate();
    std::string select, groupBy, where;
    byForeignKey_.assign(groups_.size(), false);
    keyColumns_ = groups_.size();
    for (size_t g = 0; g < groups_.size(); ++g) {
        const std::string column = GroupColumn(g);
        Append(select, ", ", column);
        Append(groupBy, ", ", column);
    }
    for (const std::string& condition : subtreeConditions_)
        Append(where, " AND ", "(" + condition + ")");
    for (const MeasureDefinition* measure : measures_)
        Append(select, ", ",
               aggregate_ ? aggregate_->MeasureSql(
                                *measure, [&](const std::string& c) { return AggregateColumn(c); })
                          : AggregateSql(cube_, cube_.Measures(), *measure));
    for (const Condition& condition : conditions_)
        Append(where, " AND ", "(" + ConditionSql(condition) + ")");
    std::string sql =
        "SELECT " + (select.empty() ? std::string("1") : select) + " FROM " + FromSql();
    if (!where.empty()) sql += " WHERE " + where;
    if (!groupBy.empty()) sql += " GROUP BY " + groupBy;
    return sql;
}

}  // namespace orvik::cube
