#include "olap/CellFetcher.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <set>

#include "core/StopRequest.h"
#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "olap/ParentChild.h"

namespace orvik::cube {
namespace {

std::string PointerKey(const std::vector<Member*>& coordinate, int compound) {
    std::string key(reinterpret_cast<const char*>(coordinate.data()),
                    coordinate.size() * sizeof(Member*));
    key.append(reinterpret_cast<const char*>(&compound), sizeof compound);
    return key;
}

struct FlatRelation {
    std::vector<std::pair<std::string, std::string>> Tables;  // alias, FROM text
    struct Condition {
        std::string LeftAlias, RightAlias, Sql;
    };
    std::vector<Condition> Conditions;
};

void Flatten(const CubeModel& cube, const Relation& relation, FlatRelation& flat) {
    if (!relation.IsJoin()) {
        std::string text = cube.Quote(relation.Table);
        if (relation.Alias != relation.Table) text += " " + cube.Quote(relation.Alias);
        flat.Tables.emplace_back(relation.Alias, text);
        return;
    }
    Flatten(cube, *relation.Left, flat);
    Flatten(cube, *relation.Right, flat);
    flat.Conditions.push_back({relation.LeftAlias, relation.RightAlias,
                               cube.Quote(relation.LeftAlias) + "." + cube.Quote(relation.LeftKey) +
                                   " = " + cube.Quote(relation.RightAlias) + "." +
                                   cube.Quote(relation.RightKey)});
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

    // Joins `relation` to the fact table on fact.`foreignKey` = `keyTable`.`primaryKey`.
    void Add(const Relation& relation, const std::string& foreignKey, const std::string& keyTable,
             const std::string& primaryKey) {
        FlatRelation flat;
        Flatten(cube_, relation, flat);
        if (present_.count(keyTable)) return;  // the same tables, joined the same way already
        std::set<std::string> added;
        for (const auto& [alias, text] : flat.Tables)
            if (alias == keyTable) {
                sql_ += " JOIN " + text + " ON " + cube_.Quote(factAlias_) + "." +
                        cube_.Quote(foreignKey) + " = " + cube_.Quote(keyTable) + "." +
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
    // A join the plan cannot derive from the schema's relations (a closure table).
    void Append(const std::string& join) { sql_ += join; }
    const std::string& Sql() const { return sql_; }

  private:
    const CubeModel& cube_;
    std::set<std::string> present_;
    std::string sql_;
    std::string factAlias_;
};

const CubeDefinition& BaseCube(const SchemaDefinition& schema, const CubeDefinition& cube,
                               const std::string& name) {
    if (!cube.Virtual) return cube;
    for (const CubeDefinition& candidate : schema.Cubes)
        if (candidate.Name == name && !candidate.Virtual) return candidate;
    throw CADOException(AdoError::Failure, "The cube '" + name + "' is not in the schema");
}

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

Variant MeasureValue(const MeasureDefinition& measure, const Variant& value) {
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

}  // namespace

int CellFetcher::AddCompound(const TupleList& tuples) {
    std::string key;
    for (const Tuple& tuple : tuples) {
        key.append(reinterpret_cast<const char*>(tuple.data()), tuple.size() * sizeof(Member*));
        key += '\0';
    }
    auto found = compoundIds_.find(key);
    if (found != compoundIds_.end()) return found->second;
    compounds_.push_back(tuples);
    const int id = static_cast<int>(compounds_.size()) - 1;
    compoundIds_.emplace(std::move(key), id);
    return id;
}

bool CellFetcher::Lookup(const std::vector<Member*>& coordinate, int compound,
                         const Member& measure, Variant& value) {
    const std::string key = PointerKey(coordinate, compound);
    auto found = cells_.find(key);
    if (found != cells_.end()) {
        auto cell = found->second.find(measure.MeasureIndex);
        if (cell != found->second.end()) {
            value = cell->second;
            return true;
        }
    }
    Request& request = pending_[key];
    if (request.Coordinate.empty()) {
        request.Coordinate = coordinate;
        request.Compound = compound;
    }
    request.Measures.insert(measure.MeasureIndex);
    value = Variant();
    return false;
}

size_t CellFetcher::DistinctKeys(const Hierarchy& hierarchy, int depth) {
    const std::string id = hierarchy.UniqueName + "#" + std::to_string(depth);
    auto found = distinctKeys_.find(id);
    if (found != distinctKeys_.end()) return found->second;
    std::set<std::string> keys;
    for (const Member* member : hierarchy.ByLevel[static_cast<size_t>(depth)])
        keys.insert(member->KeySql);
    return distinctKeys_[id] = keys.size();
}

std::string CellFetcher::MemberPredicate(const Member& member) const {
    if (IsParentChild(member)) return SubtreePredicate(cube_, member);
    std::string sql;
    for (const Member* m = &member; m && !m->IsAll; m = m->Parent) {
        const Level& level = m->Owner->Levels[static_cast<size_t>(m->Depth)];
        const std::string column = cube_.ColumnSql(*m->Owner, level.Definition->Key);
        sql += (sql.empty() ? "" : " AND ") +
               (m->KeySql == "NULL" ? column + " IS NULL" : column + " = " + m->KeySql);
        if (level.Definition->UniqueMembers) break;  // the key alone names it
    }
    return sql.empty() ? "1=1" : sql;
}

void CellFetcher::FetchPending() {
    // Group requests by base cube and shape: the depth of each hierarchy's member and the compound.
    std::map<std::string, std::vector<const Request*>> groups;
    std::map<std::string, std::string> groupCube;
    std::vector<std::string> cubeOfMeasure;
    const CubeDefinition& definition = cube_.Definition();
    for (const auto& [key, request] : pending_) {
        std::map<std::string, std::vector<int>> byCube;
        for (int m : request.Measures)
            byCube[definition.Measures[static_cast<size_t>(m)].Cube].push_back(m);
        for (const auto& [cubeName, measures] : byCube) {
            std::string shape = cubeName + '\0' + std::to_string(request.Compound) + ':';
            for (size_t h = 1; h < request.Coordinate.size(); ++h) {
                const Member* member = request.Coordinate[h];
                shape += std::to_string(member && !member->IsAll ? member->Depth : -1) + ',';
            }
            groups[shape].push_back(&request);
            groupCube[shape] = cubeName;
        }
    }
    for (const auto& [shape, requests] : groups) {
        ThrowIfStopped("The query");
        FetchGroup(requests, groupCube[shape]);
    }
    pending_.clear();
}

void CellFetcher::FetchGroup(const std::vector<const Request*>& requests,
                             const std::string& cubeName) {
    const CubeDefinition& definition = cube_.Definition();
    const CubeDefinition& base = BaseCube(schema_, definition, cubeName);
    const Request& first = *requests.front();
    std::vector<int> measures;
    for (const Request* request : requests)
        for (int m : request->Measures)
            if (definition.Measures[static_cast<size_t>(m)].Cube == cubeName) measures.push_back(m);
    std::sort(measures.begin(), measures.end());
    measures.erase(std::unique(measures.begin(), measures.end()), measures.end());

    auto& hierarchies = cube_.Hierarchies();
    JoinPlan joins(cube_, *base.Fact);
    auto join = [&](const Hierarchy& hierarchy) -> bool {
        const DimensionDefinition* dimension = nullptr;
        const HierarchyDefinition* own = nullptr;
        if (!FindHierarchy(base, hierarchy, dimension, own)) return false;
        if (!own->Table || own->Table->HasAlias(base.Fact->FirstAlias())) return true;
        const std::string keyTable =
            own->PrimaryKeyTable.empty() ? own->Table->FirstAlias() : own->PrimaryKeyTable;
        if (own->PrimaryKey.empty() || dimension->ForeignKey.empty())
            throw CADOException(AdoError::Failure, "The dimension '" + dimension->Name +
                                                       "' needs a primaryKey and a foreignKey");
        joins.Add(*own->Table, dimension->ForeignKey, keyTable, own->PrimaryKey);
        return true;
    };

    // Hierarchies the cells vary on are grouped by and filtered to the keys asked for; one that
    // holds the same member in every cell is only filtered. Grouping starts at the nearest level
    // whose keys are unique, and a filter that would let every key through is left out: the
    // database then does no more than a hand-written GROUP BY would.
    std::vector<std::pair<size_t, int>> grouped;  // hierarchy, first depth grouped
    std::string select, groupBy, where;
    size_t keyColumns = 0;
    auto addCondition = [&](const std::string& condition) {
        where += (where.empty() ? "" : " AND ") + ("(" + condition + ")");
    };
    for (size_t h = 1; h < first.Coordinate.size(); ++h) {
        const Member* member = first.Coordinate[h];
        if (!member || member->IsAll) continue;
        if (!join(*hierarchies[h])) {
            // A virtual cube's measure over a dimension its cube lacks: only the All member has
            // cells there.
            for (const Request* request : requests)
                for (int m : measures)
                    cells_[PointerKey(request->Coordinate, request->Compound)][m] = Variant();
            return;
        }
        const bool constant = std::all_of(requests.begin(), requests.end(), [&](const Request* r) {
            return r->Coordinate[h] == member;
        });
        if (constant) {
            addCondition(MemberPredicate(*member));
            continue;
        }
        if (IsParentChild(*member)) {
            std::vector<const Member*> members;
            for (const Request* request : requests) members.push_back(request->Coordinate[h]);
            const SubtreeGrouping subtrees = GroupBySubtrees(cube_, members, h);
            joins.Append(subtrees.Join);
            select += (select.empty() ? "" : ", ") + subtrees.Column;
            groupBy += (groupBy.empty() ? "" : ", ") + subtrees.Column;
            ++keyColumns;
            addCondition(subtrees.Condition);
            grouped.emplace_back(h, member->Depth);
            continue;
        }
        const Hierarchy& hierarchy = *hierarchies[h];
        int from = member->Depth;
        while (from > (hierarchy.HasAll() ? 1 : 0) &&
               !hierarchy.Levels[static_cast<size_t>(from)].Definition->UniqueMembers)
            --from;
        grouped.emplace_back(h, from);
        for (int depth = from; depth <= member->Depth; ++depth) {
            const std::string column = cube_.ColumnSql(
                hierarchy, hierarchy.Levels[static_cast<size_t>(depth)].Definition->Key);
            select += (select.empty() ? "" : ", ") + column;
            groupBy += (groupBy.empty() ? "" : ", ") + column;
            ++keyColumns;
            std::set<std::string> keys;
            bool null = false;
            for (const Request* request : requests) {
                const Member* m = request->Coordinate[h];
                while (m && m->Depth > depth) m = m->Parent;
                if (!m) continue;
                if (m->KeySql == "NULL")
                    null = true;
                else
                    keys.insert(m->KeySql);
            }
            // Long key lists are left to GROUP BY (extra groups are read and ignored), and so is
            // a list of every key the level has.
            if (keys.size() > 1000 ||
                keys.size() + (null ? 1 : 0) >= DistinctKeys(hierarchy, depth))
                continue;
            std::string condition;
            if (!keys.empty()) {
                condition = column + " IN (";
                bool comma = false;
                for (const std::string& key : keys) {
                    condition += (comma ? ", " : "") + key;
                    comma = true;
                }
                condition += ")";
            }
            if (null) condition += (condition.empty() ? "" : " OR ") + column + " IS NULL";
            addCondition(condition);
        }
    }
    if (first.Compound >= 0) {
        std::string any;
        for (const Tuple& tuple : compounds_[static_cast<size_t>(first.Compound)]) {
            std::string all;
            for (Member* member : tuple) {
                if (!member || member->IsAll || member->Owner->IsMeasures) continue;
                if (!join(*member->Owner)) {
                    all = "1=0";
                    break;
                }
                all += (all.empty() ? "" : " AND ") + MemberPredicate(*member);
            }
            any += (any.empty() ? "" : " OR ") + ("(" + (all.empty() ? "1=1" : all) + ")");
        }
        where += (where.empty() ? "" : " AND ") + ("(" + (any.empty() ? "1=0" : any) + ")");
    }
    std::string sql = "SELECT ";
    sql += select;
    for (int m : measures)
        sql += (sql.size() > 7 ? ", " : "") +
               AggregateSql(cube_, cube_.Measures(), definition.Measures[static_cast<size_t>(m)]);
    sql += " FROM " + joins.Sql();
    if (!where.empty()) sql += " WHERE " + where;
    if (!groupBy.empty()) sql += " GROUP BY " + groupBy;

    ReadGroup(sql, requests, grouped, keyColumns, measures, definition);
}

void CellFetcher::ReadGroup(const std::string& sql, const std::vector<const Request*>& requests,
                            const std::vector<std::pair<size_t, int>>& grouped, size_t keyColumns,
                            const std::vector<int>& measures, const CubeDefinition& definition) {
    std::unordered_map<std::string, std::string> byPath;
    for (const Request* request : requests) {
        const std::string key = PointerKey(request->Coordinate, request->Compound);
        for (int m : measures) cells_[key].emplace(m, Variant());
        std::string path;
        for (const auto& [h, from] : grouped) {
            std::vector<const Member*> chain;
            for (const Member* m = request->Coordinate[h]; m && !m->IsAll && m->Depth >= from;
                 m = m->Parent)
                chain.push_back(m);
            for (auto it = chain.rbegin(); it != chain.rend(); ++it) path += (*it)->Key + '\x1f';
        }
        byPath.emplace(std::move(path), key);
    }

    const auto start = std::chrono::steady_clock::now();
    CADORecordset rows(&cube_.Database());
    rows.Open(sql);
    std::vector<Variant> values(keyColumns + measures.size());
    for (; !rows.IsEOF(); rows.MoveNext()) {
        rows.GetRowValues(values);
        std::string path;
        for (size_t c = 0; c < keyColumns; ++c) path += KeyText(values[c]) + '\x1f';
        auto found = byPath.find(path);
        if (found == byPath.end()) continue;
        auto& cell = cells_[found->second];
        for (size_t i = 0; i < measures.size(); ++i)
            cell[measures[i]] = MeasureValue(definition.Measures[static_cast<size_t>(measures[i])],
                                             values[keyColumns + i]);
    }
    sqlSeconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ++sqlQueries_;
}

}  // namespace orvik::cube
