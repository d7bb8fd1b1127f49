// Aggregate tables: summaries of a fact table that the cube schema declares (by name, or by a
// pattern every table of the database is matched to). Which of them the database really holds,
// with their row counts, is found once per cube per connection; each grouped query then asks for
// the smallest one that still holds every level and measure it reads, and falls back to the fact
// table when none does. A summary is used only when it gives exactly what the fact table gives.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "olap/CubeModel.h"

class CADODatabase;

namespace orvik::cube {

// An aggregate table the database holds, as discovery found it.
struct AggregateTable {
    const AggregateDefinition* Definition = nullptr;
    std::string Table;  // as the database spells it
    long long Rows = 0;
    // The database's spelling of each column the declaration names, by the declared name.
    std::map<std::string, std::string> Columns;
    const std::string& Column(const std::string& declared) const { return Columns.at(declared); }
};

// What one query reads: its stored measures, and the levels of each hierarchy it groups by or
// filters on.
class AggregateNeeds {
  public:
    void AddMeasure(const MeasureDefinition& measure) { measures_.insert(&measure); }
    // The level at `depth` of `hierarchy` (the All level needs nothing).
    void AddLevel(const Hierarchy& hierarchy, int depth);
    // The levels a condition on `member` reads: its own and its ancestors' up to the nearest
    // level whose keys are unique.
    void AddMemberLevels(const Member& member);

    const std::set<const MeasureDefinition*>& Measures() const { return measures_; }
    const std::map<const Hierarchy*, std::set<int>>& Levels() const { return levels_; }

  private:
    std::set<const MeasureDefinition*> measures_;
    std::map<const Hierarchy*, std::set<int>> levels_;
};

// How a query reads from the aggregate chosen for it.
class AggregateChoice {
  public:
    explicit AggregateChoice(const AggregateTable& table) : table_(&table) {}

    const AggregateTable& Table() const { return *table_; }
    // The aggregate's column that holds the keys of `hierarchy`'s level at `depth`; "" when
    // the hierarchy's dimension tables are joined to JoinColumn instead.
    std::string LevelColumn(const Hierarchy& hierarchy, int depth) const;
    // The aggregate's column standing for the fact table's foreign key of `hierarchy`'s dimension;
    // "" when its levels are read from the aggregate's own columns.
    std::string JoinColumn(const Hierarchy& hierarchy) const;
    // `measure` rolled up from the aggregate; `column` makes the SQL of one of its columns.
    std::string MeasureSql(const MeasureDefinition& measure,
                           const std::function<std::string(const std::string&)>& column) const;

  private:
    friend class AggregateTables;
    const AggregateTable* table_;
    // Hierarchies read through a joined dimension, with the aggregate column they join to.
    std::map<std::pair<std::string, std::string>, std::string> joins_;
};

// The aggregate tables of one connection's cubes.
class AggregateTables {
  public:
    using Sink = std::function<void(std::string)>;
    // `catalog` names the schema file in warnings. Aggregates skipped (a table or column
    // missing) go to `warn`, once each; which table each query read and why goes to `note`.
    AggregateTables(CADODatabase& database, std::string catalog, Sink warn, Sink note)
        : database_(database),
          catalog_(std::move(catalog)),
          warn_(std::move(warn)),
          note_(std::move(note)) {}

    // The smallest aggregate of `base` that answers `needs`; none when only the fact table does.
    // The first call for a cube finds its aggregates.
    std::optional<AggregateChoice> Choose(const CubeDefinition& base, const AggregateNeeds& needs);
    // The aggregates of `base` the database holds, found on the first call.
    const std::vector<AggregateTable>& Found(const CubeDefinition& base);
    // Forgets what was found: the next query looks at the database again.
    void Forget() {
        tables_.reset();
        found_.clear();
    }

  private:
    const std::vector<std::string>& DatabaseTables();
    // The database's spelling of `name` among `names` (exact first, then without case); "".
    static std::string Spelled(const std::vector<std::string>& names, const std::string& name);
    bool Excluded(const CubeDefinition& base, const AggregateDefinition& aggregate,
                  const std::string& table);
    std::optional<AggregateTable> Probe(const AggregateDefinition& aggregate,
                                        const std::string& table);
    // Why `table` cannot answer `needs` ("" when it can); fills `choice` with its joins.
    std::string Shortfall(const CubeDefinition& base, const AggregateTable& table,
                          const AggregateNeeds& needs, AggregateChoice& choice) const;
    void Warn(int line, const std::string& what);

    CADODatabase& database_;
    std::string catalog_;
    std::optional<std::vector<std::string>> tables_;
    std::map<std::string, std::vector<AggregateTable>> found_;  // by base cube name
    Sink warn_;
    Sink note_;
};

}  // namespace orvik::cube
