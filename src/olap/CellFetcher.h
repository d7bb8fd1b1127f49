// Reads stored cells in bulk. The evaluator asks for cells one at a time; each one it does not
// have yet is noted, and after an evaluation pass every noted cell is read with one grouped SQL
// query per shape (which levels of which hierarchies it varies on, and which compound slicer it
// lies under). The database aggregates; no fact row ever reaches this process.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "data/Variant.h"
#include "olap/CubeModel.h"

namespace orvik::cube {

using Tuple = std::vector<Member*>;
using TupleList = std::vector<Tuple>;

// What NON EMPTY asks the facts: which combinations of one member from each operand (members
// of one hierarchy at one depth each) have facts in any of the base cubes `Cubes`, where the
// members of `Context` hold (null, All and measure entries, and the operands' own hierarchies,
// are left out) and under `Compound` (-1: none). An operand may instead be a whole level whose
// hierarchy is read only in part (`Partial`): its members are then read as the facts name them.
struct FactQuestion {
    std::vector<std::vector<Member*>> Operands;
    std::vector<Member*> Context;
    int Compound = -1;
    std::vector<std::string> Cubes;
    // Stored measures to read along, when there is one cube: their cells then need no query
    // of their own.
    std::vector<const Member*> Measures;
    size_t Limit = SIZE_MAX;
    std::vector<const Level*> Partial;  // empty, or one per operand: the level, or null
    const Level* PartialLevel(size_t operand) const {
        return operand < Partial.size() ? Partial[operand] : nullptr;
    }
};

// Combinations of positions in a crossjoin's operands, `Width` numbers each, one after another
// in crossjoin order, and the values of the question's measures for each, when it asked.
struct FactCombinations {
    size_t Width = 0;
    std::vector<uint32_t> Positions;
    size_t ValuesEach = 0;        // the question's measures when read along, else 0
    std::vector<Variant> Values;  // Count() x ValuesEach
    // For an operand given as a partly read level: its members with facts in hierarchy order,
    // which that operand's positions count (empty for the other operands).
    std::vector<std::vector<Member*>> Members;
    size_t Count() const { return Width ? Positions.size() / Width : 0; }
};

class CellCache;

// The values read for one cell coordinate, by measure number: a handful at most, so a short
// list beats a hash table of its own per coordinate.
class MeasureValues {
  public:
    const Variant* Find(int measure) const {
        for (const auto& [m, value] : values_)
            if (m == measure) return &value;
        return nullptr;
    }
    Variant& operator[](int measure) {
        for (auto& [m, value] : values_)
            if (m == measure) return value;
        return values_.emplace_back(measure, Variant()).second;
    }
    void Reserve(size_t count) { values_.reserve(count); }
    // Adds `measure` as empty unless it is there.
    void Note(int measure) {
        if (!Find(measure)) values_.emplace_back(measure, Variant());
    }

  private:
    std::vector<std::pair<int, Variant>> values_;
};

class CellFetcher {
  public:
    // Cells found in `cache` (when given) are not read again, and cells read are kept there.
    CellFetcher(CubeModel& cube, const SchemaDefinition& schema, CellCache* cache = nullptr)
        : cube_(cube), schema_(schema), cache_(cache) {}

    // A set of tuples whose cells count as one (a compound slicer, an aggregated set); returns
    // its number for Lookup.
    int AddCompound(const TupleList& tuples);
    // The tuples of compound `id` (a number AddCompound returned).
    const TupleList& Compound(int id) const { return compounds_.at(static_cast<size_t>(id)); }

    // The stored value of `measure` at `coordinate` (one member per hierarchy, null where a
    // compound stands in) under `compound` (-1: none). False when it has not been read yet: the
    // request is noted and `value` is left empty.
    bool Lookup(const std::vector<Member*>& coordinate, int compound, const Member& measure,
                Variant& value);
    bool HasPending() const { return !pending_.empty(); }
    // Reads every noted cell. Throws CADOException.
    void FetchPending();

    // Which combinations of one member from each operand of `question` have facts. One grouped
    // query per cube: nothing of the product is ever built. Nothing when there would be more
    // than the question's limit.
    std::optional<FactCombinations> CombinationsWithFacts(const FactQuestion& question);
    // Files `values` as the stored cells of the measures `measureIndexes` (one value each) at
    // `coordinate` (the measure's place null) under `compound`, read along with something else.
    void Prefill(const std::vector<Member*>& coordinate, int compound,
                 std::span<const int> measureIndexes, std::span<const Variant> values);
    // Room for `count` more coordinates, before a large prefill.
    void ReserveCells(size_t count) { cells_.reserve(cells_.size() + count); }

    // Forgets the cells read for this query (the cache keeps its own), once they are no longer
    // looked up.
    void ReleaseCells() {
        cells_ = {};
        pending_ = {};
    }

    double SqlSeconds() const { return sqlSeconds_; }
    int SqlQueries() const { return sqlQueries_; }

  private:
    struct Request {
        std::vector<Member*> Coordinate;
        int Compound = -1;
        std::unordered_set<int> Measures;
    };
    void FetchGroup(const std::vector<const Request*>& requests, const std::string& cubeName);
    // Runs a group's `sql` and files its rows under the cells asked for. Every cell of
    // `requests` is known afterwards, empty unless a row gave it a value.
    void ReadGroup(const std::string& sql, const std::vector<const Request*>& requests,
                   const std::vector<std::pair<size_t, int>>& grouped, size_t keyColumns,
                   const std::vector<int>& measures, const CubeDefinition& definition);
    // How many different keys the level at `depth` has (its members' keys, once each).
    size_t DistinctKeys(const Hierarchy& hierarchy, int depth);
    // Adds to `found` the combinations with facts in the base cube `cubeName`; false when
    // there are more than the question's limit.
    bool CombinationsInCube(const FactQuestion& question, const std::string& cubeName,
                            FactCombinations& found);
    struct PartialKeys;
    // Reads the members of partly read operands that the rows of one cube named (by `keys`),
    // turning those rows' positions from key numbers into places in found.Members, and dropping
    // the rows whose keys name no member.
    void ResolvePartial(const FactQuestion& question, std::vector<PartialKeys>& keys,
                        size_t firstRow, FactCombinations& found);
    // The key of a cell in the cache: its members and its compound's tuples, not the
    // compound's number, which only this query knows.
    std::string CacheKey(const std::vector<Member*>& coordinate, int compound) const;

    CubeModel& cube_;
    const SchemaDefinition& schema_;
    CellCache* cache_;
    std::vector<TupleList> compounds_;
    std::vector<std::string> compoundKeys_;
    std::unordered_map<std::string, int> compoundIds_;
    // Cell values by coordinate key, then by measure index.
    std::unordered_map<std::string, MeasureValues, KeyTextHash, std::equal_to<>> cells_;
    std::string lookupKey_;
    std::unordered_map<std::string, Request> pending_;
    std::unordered_map<std::string, size_t> distinctKeys_;
    double sqlSeconds_ = 0;
    int sqlQueries_ = 0;
};

}  // namespace orvik::cube
