// The cube as the engine works on it: hierarchies with their levels and members, the measures
// as members of the Measures hierarchy, calculated members beside the stored ones. Members are
// read from the dimension tables the first time a hierarchy is touched and kept for the life of
// the connection; nothing here ever reads the fact table. A hierarchy over a large table may be
// read in part first (the members some facts name, for a NON EMPTY crossjoin); reading it whole
// later keeps those members where they are.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "data/Variant.h"
#include "olap/CubeSchema.h"
#include "olap/MdxAst.h"
#include "olap/PropertyValuePool.h"
#include "olap/SqlDialect.h"

class CADODatabase;
class Variant;

namespace orvik::cube {

struct Hierarchy;
struct MemberRead;

// Hashes key texts so that a table of them is searched by a string_view as well.
struct KeyTextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};
class AggregateTables;

struct Level {
    Hierarchy* Owner = nullptr;
    int Depth = 0;  // 0 is the All level when the hierarchy has one
    std::string Name;
    std::string UniqueName;
    const LevelDefinition* Definition = nullptr;  // null for the All level and for measures
};

// Large levels hold members by the hundred thousand: the small fields sit together, without
// padding between them.
struct Member {
    Hierarchy* Owner = nullptr;
    Member* Parent = nullptr;
    int Depth = 0;
    int SolveOrder = 0;     // of a calculated member
    int MeasureIndex = -1;  // of a stored measure
    bool IsAll = false;
    bool Calculated = false;  // then Formula, SolveOrder and FormatString say what it is
    bool Visible = true;
    std::string Key;     // the key column's value as text ("" for the All member)
    std::string KeySql;  // the key as an SQL literal; "NULL" for a missing key
    std::string Name;
    std::string Caption;
    std::string UniqueName;
    std::string OrdinalText;  // the ordinal column's value, when the level has one
    // The level's declared <Property> values as numbers in the hierarchy's PropertyValues,
    // indexed like its definition's list (empty for a level without any, and for calculated
    // members).
    std::vector<uint32_t> PropertyValues;
    std::vector<Member*> Children;
    size_t Ordinal = 0;                        // position in the hierarchy walked parents first
    size_t LevelIndex = 0;                     // position among the members of its level
    std::shared_ptr<const mdx::Expr> Formula;  // of a calculated member
    std::string FormatString;
    const MeasureDefinition* Measure = nullptr;  // of a stored measure
};

struct Hierarchy {
    std::string Name;        // the name used after the dimension: "Time", "Weekly"
    std::string UniqueName;  // "[Time]" for a dimension's first hierarchy, "[Time.Weekly]" after
    std::string DimensionName;
    bool IsMeasures = false;
    bool IsTime = false;
    int Index = 0;  // position in the cube's hierarchy list (Measures is 0)
    const DimensionDefinition* Dimension = nullptr;
    const HierarchyDefinition* Definition = nullptr;
    std::vector<Level> Levels;
    bool Loaded = false;
    std::deque<Member> Storage;
    std::vector<Member*> Roots;                 // the All member, or the members of the top level
    std::vector<std::vector<Member*>> ByLevel;  // real members of each level in order
    std::vector<Member*> CalculatedMembers;
    // Leaf members by the dimension table's primary key: "&[9]" at the lowest level may mean
    // the row's key rather than the level's column.
    std::unordered_map<std::string, Member*, KeyTextHash, std::equal_to<>> ByPrimaryKey;
    PropertyValuePool PropertyValues;  // the values of its members' declared properties
    Member* Default = nullptr;
    size_t TableRows = SIZE_MAX;  // the rows of its table, once counted
    bool HasAll() const { return Definition && Definition->HasAll; }
    Member* All() const { return HasAll() && !Roots.empty() ? Roots.front() : nullptr; }
};

// A KPI with its expressions parsed; null where the KPI has none.
struct Kpi {
    const KpiDefinition* Definition = nullptr;
    std::shared_ptr<const mdx::Expr> Value, Goal, Status, Trend, Weight;
};

// One cube of a connection: its hierarchies (Measures first) over its schema definition.
class CubeModel {
  public:
    static constexpr size_t kDefaultLargeLevelRows = 200'000;

    // Reads members through `database`, writing SQL in `dialect` (null: the database's own).
    CubeModel(const CubeDefinition& definition, CADODatabase& database,
              const SqlDialect* dialect = nullptr);
    CubeModel(const CubeModel&) = delete;
    CubeModel& operator=(const CubeModel&) = delete;

    const CubeDefinition& Definition() const { return definition_; }
    std::vector<std::unique_ptr<Hierarchy>>& Hierarchies() { return hierarchies_; }
    Hierarchy& Measures() { return *hierarchies_.front(); }
    const Hierarchy& Measures() const { return *hierarchies_.front(); }

    // Reads the members of `hierarchy` when that has not happened yet. Throws CADOException.
    void Load(Hierarchy& hierarchy);
    // True when the members of `level` are best read only as far as a query's facts reach: its
    // hierarchy is not read yet and its table has at least LargeLevelRows() rows. Counts the
    // table once. Throws CADOException.
    bool ReadsInPart(const Level& level);
    // Reads the members of the rows whose primary key is one of `keys`, leaving the rest of the
    // hierarchy unread: the lowest member of each key's row, in the order of `keys`, null where
    // no row has the key. Throws CADOException.
    std::vector<Member*> LoadByPrimaryKeys(Hierarchy& hierarchy, const std::vector<Variant>& keys);
    // Reads the members of the rows whose `level` key is one of `keys`, leaving the rest of the
    // hierarchy unread: the members of `level` those rows hold, once each.
    std::vector<Member*> LoadByLevelKeys(const Level& level, const std::vector<Variant>& keys);
    // Tables with this many rows or more are read in part (0: every hierarchy is read whole).
    size_t LargeLevelRows() const { return largeLevelRows_; }
    void SetLargeLevelRows(size_t rows) { largeLevelRows_ = rows; }
    // The default member (loading the hierarchy). Null only for a hierarchy without members.
    Member* DefaultMember(Hierarchy& hierarchy);

    // Adds a calculated member of the schema named `name` under `parent` (null: at the top).
    Member* AddCalculated(Hierarchy& hierarchy, Member* parent, const std::string& name,
                          std::shared_ptr<const mdx::Expr> formula);

    // The KPIs whose expressions could be read, in schema order.
    std::vector<Kpi>& Kpis() { return kpis_; }
    // The KPI called `name` (without regard to case); null when there is none.
    const Kpi* FindKpi(const std::string& name) const;

    // The SQL alias and column text of `column` for `hierarchy`'s tables.
    std::string ColumnSql(const Hierarchy& hierarchy, const ColumnExpression& column) const;
    // The FROM text of the hierarchy's own tables joined together.
    std::string RelationSql(const Relation& relation) const;
    std::string Quote(const std::string& name) const;
    // `value` as an SQL literal of the model's dialect.
    std::string Literal(const Variant& value) const { return SqlLiteral(dialect_, value); }
    const SqlDialect& Dialect() const { return dialect_; }
    CADODatabase& Database() { return database_; }
    // The aggregate tables queries may read instead of the fact table (null: none), kept by
    // the connection for all its cubes.
    AggregateTables* Aggregates() const { return aggregates_; }
    void UseAggregates(AggregateTables* aggregates) { aggregates_ = aggregates; }

  private:
    // Reads the members of the hierarchy's rows (`where`: an SQL condition, or "" for all),
    // making those `read` has not met yet.
    void ReadMembers(Hierarchy& hierarchy, const std::string& where, MemberRead& read);
    // Reads the rows whose `columnSql` is one of `keys`, a few thousand a statement.
    void ReadSome(Hierarchy& hierarchy, const std::string& columnSql,
                  const std::vector<Variant>& keys, MemberRead& read);
    // Orders siblings and numbers the members read so far, parents first.
    void Renumber(Hierarchy& hierarchy);
    void AddHierarchy(const DimensionDefinition* dimension, const HierarchyDefinition* definition,
                      bool first);

    const CubeDefinition& definition_;
    CADODatabase& database_;
    const SqlDialect& dialect_;
    AggregateTables* aggregates_ = nullptr;
    size_t largeLevelRows_ = kDefaultLargeLevelRows;
    std::vector<std::unique_ptr<Hierarchy>> hierarchies_;
    std::vector<Kpi> kpis_;
};

// The index in its hierarchy's Levels (and ByLevel) of `member`'s level. A parent-child level is
// the last of its hierarchy and its members sit at any depth below it, so depth stops there.
inline size_t LevelIndexOf(const Member& member) {
    return std::min(static_cast<size_t>(member.Depth), member.Owner->Levels.size() - 1);
}
// True for a member of a parent-child level, whose cells roll up over its whole subtree.
inline bool IsParentChild(const Member& member) {
    if (member.IsAll || member.Calculated || !member.Owner || member.Owner->IsMeasures)
        return false;
    const LevelDefinition* level = member.Owner->Levels[LevelIndexOf(member)].Definition;
    return level && level->ParentChild();
}

// Makes `member` a calculated member named `name` under `parent` (null: at the top); `sequence`
// orders calculated members among themselves, after every stored member.
void InitCalculated(Member& member, Hierarchy& hierarchy, Member* parent, const std::string& name,
                    std::shared_ptr<const mdx::Expr> formula, size_t sequence);
// The unique name of a member named `name` under `parent` (the All member is left out).
std::string ChildUniqueName(const Hierarchy& hierarchy, const Member* parent,
                            const std::string& name);
// A value read from the database as a member key or name: whole numbers without ".0".
std::string KeyText(const ::Variant& value);
// Appends KeyText(value) and the separator of key paths; whole numbers, the usual keys, without a
// string of their own, as grouped rows are read by the hundred thousand.
void AppendKeyPathPart(std::string& path, const ::Variant& value);

}  // namespace orvik::cube
