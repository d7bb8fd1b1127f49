#include "olap/AggregateTables.h"

#include "olap/NameCase.h"

namespace orvik::cube {
namespace {

using HierarchyName = std::pair<std::string, std::string>;

HierarchyName NameOf(const Hierarchy& hierarchy) {
    return {hierarchy.DimensionName, hierarchy.Name};
}

const AggregateLevel* FindLevel(const AggregateDefinition& aggregate, const Hierarchy& hierarchy,
                                int depth) {
    const Level& level = hierarchy.Levels[static_cast<size_t>(depth)];
    for (const AggregateLevel& column : aggregate.Levels)
        if (column.Dimension == hierarchy.DimensionName && column.Hierarchy == hierarchy.Name &&
            column.Level == level.Name)
            return &column;
    return nullptr;
}

const AggregateMeasure* FindMeasure(const AggregateDefinition& aggregate,
                                    const MeasureDefinition& measure) {
    for (const AggregateMeasure& column : aggregate.Measures)
        if (column.Measure == measure.Name) return &column;
    return nullptr;
}

const AggregateForeignKey* FindForeignKey(const AggregateDefinition& aggregate,
                                          const std::string& factColumn) {
    if (factColumn.empty()) return nullptr;
    for (const AggregateForeignKey& key : aggregate.ForeignKeys)
        if (SameName(key.FactColumn, factColumn)) return &key;
    return nullptr;
}

// The fact table foreign key that `hierarchy`'s dimension tables join to in `base`; "" for a
// hierarchy whose levels are columns of the fact table itself.
std::string FactForeignKey(const CubeDefinition& base, const Hierarchy& hierarchy) {
    for (const DimensionDefinition& dimension : base.Dimensions) {
        if (dimension.Name != hierarchy.DimensionName) continue;
        for (const HierarchyDefinition& own : dimension.Hierarchies)
            if ((own.Name.empty() ? dimension.Name : own.Name) == hierarchy.Name && own.Table &&
                !own.Table->HasAlias(base.Fact->FirstAlias()))
                return dimension.ForeignKey;
    }
    return "";
}

// A distinct count is exact from an aggregate only when the counted column is one of its
// foreign keys: every fact row's value then survives as a row of the aggregate.
const AggregateForeignKey* DistinctColumn(const AggregateDefinition& aggregate,
                                          const MeasureDefinition& measure) {
    if (!measure.Column.Sql.empty() || !measure.Column.Table.empty()) return nullptr;
    return FindForeignKey(aggregate, measure.Column.Column);
}

// True when `measure` rolls up exactly from `aggregate`: sums, counts, minimums and maximums of
// its columns, a distinct count of a foreign key. An average would need the sum and count of the
// same values, which the declarations do not say, so it stays with the fact table.
bool RollsUp(const AggregateDefinition& aggregate, const MeasureDefinition& measure) {
    const std::string& aggregator = measure.Aggregator;
    if (aggregator == "distinct-count") return DistinctColumn(aggregate, measure) != nullptr;
    if (aggregator == "avg") return false;
    if (FindMeasure(aggregate, measure)) return true;
    return aggregator == "count" && measure.Column.Empty();
}

std::string Describe(const AggregateNeeds& needs) {
    std::string text;
    for (const MeasureDefinition* measure : needs.Measures())
        text += (text.empty() ? "" : ", ") + ("[Measures].[" + measure->Name + "]");
    std::string levels;
    for (const auto& [hierarchy, depths] : needs.Levels())
        for (int depth : depths)
            levels += (levels.empty() ? "" : ", ") +
                      hierarchy->Levels[static_cast<size_t>(depth)].UniqueName;
    return text + (levels.empty() ? "" : " by " + levels);
}

}  // namespace

void AggregateNeeds::AddLevel(const Hierarchy& hierarchy, int depth) {
    if (hierarchy.Levels[static_cast<size_t>(depth)].Definition) levels_[&hierarchy].insert(depth);
}

void AggregateNeeds::AddMemberLevels(const Member& member) {
    for (const Member* m = &member; m && !m->IsAll; m = m->Parent) {
        AddLevel(*m->Owner, m->Depth);
        if (m->Owner->Levels[static_cast<size_t>(m->Depth)].Definition->UniqueMembers) break;
    }
}

// A level that is not collapsed holds its own keys like one that is; the levels above it come
// only from columns of their own, never through a join on it.
std::string AggregateChoice::LevelColumn(const Hierarchy& hierarchy, int depth) const {
    if (joins_.count(NameOf(hierarchy))) return "";
    const AggregateLevel* level = FindLevel(*table_->Definition, hierarchy, depth);
    return level ? table_->Column(level->Column) : "";
}

std::string AggregateChoice::JoinColumn(const Hierarchy& hierarchy) const {
    auto found = joins_.find(NameOf(hierarchy));
    return found == joins_.end() ? "" : found->second;
}

std::string AggregateChoice::MeasureSql(
    const MeasureDefinition& measure,
    const std::function<std::string(const std::string&)>& column) const {
    const AggregateDefinition& aggregate = *table_->Definition;
    if (measure.Aggregator == "distinct-count")
        return "COUNT(DISTINCT " +
               column(table_->Column(DistinctColumn(aggregate, measure)->AggregateColumn)) + ")";
    const AggregateMeasure* own = FindMeasure(aggregate, measure);
    const std::string source = column(table_->Column(own ? own->Column : aggregate.FactCount));
    // A count over no rows is 0, not empty, as COUNT on the fact table gives it.
    if (measure.Aggregator == "count") return "COALESCE(SUM(" + source + "), 0)";
    if (measure.Aggregator == "min") return "MIN(" + source + ")";
    if (measure.Aggregator == "max") return "MAX(" + source + ")";
    return "SUM(" + source + ")";
}

std::string AggregateTables::Shortfall(const CubeDefinition& base, const AggregateTable& table,
                                       const AggregateNeeds& needs, AggregateChoice& choice) const {
    const AggregateDefinition& aggregate = *table.Definition;
    for (const MeasureDefinition* measure : needs.Measures())
        if (!RollsUp(aggregate, *measure)) return "[Measures].[" + measure->Name + "]";
    for (const auto& [hierarchy, depths] : needs.Levels()) {
        int missing = -1;
        for (int depth : depths)
            if (missing < 0 && !FindLevel(aggregate, *hierarchy, depth)) missing = depth;
        if (missing < 0) continue;
        // A level the aggregate lacks is still there when the dimension joins to a foreign key
        // the aggregate kept.
        if (const AggregateForeignKey* key =
                FindForeignKey(aggregate, FactForeignKey(base, *hierarchy))) {
            choice.joins_[NameOf(*hierarchy)] = table.Column(key->AggregateColumn);
            continue;
        }
        return hierarchy->Levels[static_cast<size_t>(missing)].UniqueName;
    }
    return "";
}

std::optional<AggregateChoice> AggregateTables::Choose(const CubeDefinition& base,
                                                       const AggregateNeeds& needs) {
    std::optional<AggregateChoice> best;
    std::string lacking;
    for (const AggregateTable& table : Found(base)) {
        AggregateChoice choice(table);
        const std::string shortfall = Shortfall(base, table, needs, choice);
        if (!shortfall.empty()) {
            lacking += (lacking.empty() ? "" : "; ") + table.Table + " lacks " + shortfall;
        } else if (!best || table.Rows < best->Table().Rows) {
            best = std::move(choice);
        }
    }
    if (Found(base).empty()) return best;
    const std::string what = "Cube '" + base.Name + "': " + Describe(needs) + " read from ";
    if (best)
        note_(what + "the aggregate table " + best->Table().Table + " (" +
              std::to_string(best->Table().Rows) + " rows)");
    else
        note_(what + "the fact table (" + lacking + ")");
    return best;
}

}  // namespace orvik::cube
