// A cube schema as its XML file describes it: cubes over a fact table, dimensions (shared ones
// used by several cubes, or private), hierarchies over a table or a join of tables, levels over
// columns or SQL expressions, measures with their aggregators and format strings, calculated
// members and named sets written in MDX, and virtual cubes that combine the measures of others.
// Reading resolves shared dimensions into each cube, so the engine sees only whole cubes.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvik::cube {

// A schema that cannot be used: the message names the file, the line and what is wrong.
class CubeSchemaError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A column of a table (Table may be empty: the hierarchy's own or the fact table), or raw SQL.
struct ColumnExpression {
    std::string Table;
    std::string Column;
    std::string Sql;  // when not empty, used as written instead of the column
    bool Empty() const { return Column.empty() && Sql.empty(); }
};

// A table, or a join of two relations on LeftKey = RightKey.
struct Relation {
    std::string Table;  // empty for a join
    std::string Alias;  // the table's alias (its name unless given)
    std::shared_ptr<Relation> Left, Right;
    std::string LeftKey, LeftAlias, RightKey, RightAlias;
    bool IsJoin() const { return Table.empty(); }
    // The alias of the first table of this relation, where keys without a table are looked for.
    const std::string& FirstAlias() const { return IsJoin() ? Left->FirstAlias() : Alias; }
    // True when the relation holds a table with `alias`.
    bool HasAlias(const std::string& alias) const {
        return IsJoin() ? Left->HasAlias(alias) || Right->HasAlias(alias) : Alias == alias;
    }
};

struct PropertyDefinition {
    std::string Name;
    ColumnExpression Column;
    std::string Type;
};

// The table that lists, for a parent-child level, every (ancestor, descendant) pair of its
// members, each member with itself included: cells roll up over it without recursion.
struct ClosureDefinition {
    std::string Table;
    std::string ParentColumn;
    std::string ChildColumn;
    bool Present() const { return !Table.empty(); }
};

struct LevelDefinition {
    std::string Name;
    std::string Caption;
    ColumnExpression Key;
    ColumnExpression NameColumn;
    ColumnExpression Ordinal;
    ColumnExpression CaptionColumn;
    std::string Type = "String";  // String, Numeric, Integer, Boolean, Date, ...
    bool UniqueMembers = false;
    std::string LevelType;  // Regular, TimeYears, TimeQuarters, TimeMonths, ...
    std::vector<PropertyDefinition> Properties;
    // A parent-child level: each row names its parent's key in ParentColumn; a NULL parent or
    // one equal to NullParentValue makes the row a root.
    ColumnExpression ParentColumn;
    std::string NullParentValue;
    ClosureDefinition Closure;
    int Line = 0;
    bool ParentChild() const { return !ParentColumn.Empty(); }
    bool Numeric() const {
        return Type == "Numeric" || Type == "Integer" || Type == "int" || Type == "long";
    }
};

struct HierarchyDefinition {
    std::string Name;  // empty: named after its dimension
    std::string Caption;
    bool HasAll = true;
    std::string AllMemberName;  // "All <dimension>s" unless given
    std::string PrimaryKey;
    std::string PrimaryKeyTable;
    std::string DefaultMember;
    std::shared_ptr<Relation> Table;  // null: the levels are columns of the fact table
    std::vector<LevelDefinition> Levels;
    int Line = 0;
};

struct DimensionDefinition {
    std::string Name;
    std::string Caption;
    bool IsTime = false;
    std::string ForeignKey;  // the fact table's column joined to each hierarchy's primary key
    std::vector<HierarchyDefinition> Hierarchies;
    int Line = 0;
};

struct MeasureDefinition {
    std::string Name;
    std::string Caption;
    ColumnExpression Column;
    std::string Aggregator = "sum";  // sum, count, distinct-count, min, max, avg
    std::string FormatString;
    bool Visible = true;
    std::string Cube;  // the cube whose fact table holds it (differs in a virtual cube)
    int Line = 0;
};

struct CalculatedMemberDefinition {
    std::string Name;
    std::string Caption;
    std::string Dimension;  // "Measures" or a dimension (or hierarchy) name
    std::string Parent;     // unique name of the parent member, when given
    std::string Formula;
    std::string FormatString;
    int SolveOrder = 0;
    int MemberOrdinal = -1;  // where it stands among calculated members; -1: in schema order
    bool Visible = true;
    int Line = 0;
};

// A key performance indicator: MDX expressions for its value, goal, status (-1 bad to 1 good),
// trend (-1 falling to 1 rising) and weight, and the pictures its status and trend are shown with.
// Only the name is required; an expression left out is empty.
struct KpiDefinition {
    std::string Name;
    std::string Caption;  // the name unless given
    std::string Description;
    std::string DisplayFolder;
    std::string Parent;  // the name of the KPI it belongs under, when given
    std::string Value;
    std::string Goal;
    std::string Status;
    std::string Trend;
    std::string Weight;
    std::string StatusGraphic;  // one of kKpiGraphics (olap/KpiGraphics.h), spelt as there
    std::string TrendGraphic;
    int Line = 0;
};

struct NamedSetDefinition {
    std::string Name;
    std::string Formula;
    int Line = 0;
};

// Aggregate tables: summaries of a cube's fact table that the database keeps beside it. Each
// column of one stands for a level (its values are the level's keys), for a fact table foreign key
// (the dimension table joins to it as it would to the fact table), for a measure rolled up to the
// table's grain, or for the number of fact rows summed into the row.
struct AggregateLevel {
    std::string Dimension;
    std::string Hierarchy;  // the hierarchy's name as the cube model knows it ("Time", "Weekly")
    std::string Level;
    std::string Column;
    bool Collapsed = true;
    int Line = 0;
};

struct AggregateMeasure {
    std::string Measure;  // the stored measure's name, without "[Measures]."
    std::string Column;
    int Line = 0;
};

struct AggregateForeignKey {
    std::string FactColumn;
    std::string AggregateColumn;
    int Line = 0;
};

// A table left out: by name, or every table whose whole name matches the pattern.
struct AggregateExclude {
    std::string Name;
    std::string Pattern;
    bool IgnoreCase = true;
    int Line = 0;
};

struct AggregateDefinition {
    std::string Name;     // the table (<AggName>), or empty
    std::string Pattern;  // a regular expression every table name of the database is matched to
    std::string FactCount;
    std::vector<std::string> IgnoredColumns;
    std::vector<AggregateForeignKey> ForeignKeys;
    std::vector<AggregateMeasure> Measures;
    std::vector<AggregateLevel> Levels;
    std::vector<AggregateExclude> Excludes;  // of a pattern: tables it must not take
    int Line = 0;
};

struct CubeDefinition {
    std::string Name;
    std::string Caption;
    std::string DefaultMeasure;
    std::shared_ptr<Relation> Fact;  // null for a virtual cube
    std::vector<AggregateDefinition> Aggregates;
    std::vector<AggregateExclude> AggregateExcludes;  // tables no aggregate may use
    bool Virtual = false;
    std::vector<DimensionDefinition> Dimensions;
    std::vector<MeasureDefinition> Measures;
    std::vector<CalculatedMemberDefinition> CalculatedMembers;
    std::vector<NamedSetDefinition> NamedSets;
    std::vector<KpiDefinition> Kpis;
    int Line = 0;
};

struct SchemaDefinition {
    std::string Name;
    std::vector<CubeDefinition> Cubes;
    // What was read and left unused, one line each ("file line N: unknown element <X>").
    std::vector<std::string> Warnings;
};

// Reads the schema in `path`, taking SQL expressions written for `dialect` ("sqlite",
// "postgres", "mysql", ...) or else the generic ones. Throws CubeSchemaError.
SchemaDefinition ReadCubeSchema(const std::string& path, const std::string& dialect);
// The same for schema text held in memory; `name` stands for the file in messages.
SchemaDefinition ParseCubeSchema(const std::string& text, const std::string& name,
                                 const std::string& dialect);

}  // namespace orvik::cube
