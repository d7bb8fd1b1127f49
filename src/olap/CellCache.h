// Cells a cube connection has read, kept for the queries after: a report that asks the same
// cells twice, or drills one level down from what it showed, reads from the database only what
// it lacks. Cells are keyed by the members of their coordinate (members live as long as the
// connection), the measure and the compound slicer they lie under; the NON EMPTY combinations
// of a crossjoin are kept beside them, and so is each statement's whole result, which a repeated
// query gets back without being evaluated again. The cache holds at most its size in bytes,
// dropping the oldest entries first, and entries older than its time to live count as missing, so a
// long-lived process sees the database's changes within that time.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "data/AdoCellSet.h"
#include "data/Variant.h"
#include "olap/CellFetcher.h"

namespace orvik::cube {

class CellCache {
  public:
    using Clock = std::chrono::steady_clock;

    // At most `maxBytes` of cells; `timeToLive` zero keeps them while the cache lives.
    CellCache(size_t maxBytes, Clock::duration timeToLive)
        : maxBytes_(maxBytes), timeToLive_(timeToLive) {}

    // The value of `measure` at the cell `key` names, when it is kept and fresh.
    std::optional<Variant> Find(const std::string& key, int measure);
    void Store(const std::string& key, int measure, const Variant& value);

    // The combinations with facts a NON EMPTY query `key` found.
    std::optional<FactCombinations> FindCombinations(const std::string& key);
    void StoreCombinations(const std::string& key, const FactCombinations& found);

    // The result of the MDX statement `text`, when it is kept and fresh. A result is only as
    // fresh as the cells in it, so it ages and goes with them.
    std::shared_ptr<const CellSetData> FindResult(const std::string& text);
    // Keeps a copy of `result`, unless it would take more than half the cache.
    void StoreResult(const std::string& text, const CellSetData& result);

    // Forgets everything (the database changed).
    void Clear();
    size_t Bytes() const;
    size_t Cells() const;

  private:
    struct Entry {
        Variant Value;
        Clock::time_point Read;
    };
    enum class Kind { Cell, Combinations, Result };
    struct Kept {
        std::string Key;
        Kind What = Kind::Cell;
    };
    struct KeptResult {
        std::shared_ptr<const CellSetData> Data;
        size_t Bytes = 0;
        Clock::time_point Read;
    };
    bool Fresh(Clock::time_point read) const;
    void Note(std::string key, Kind what, size_t bytes);
    // What dropping the oldest entry frees.
    size_t Drop(const Kept& oldest);

    const size_t maxBytes_;
    const Clock::duration timeToLive_;
    mutable std::mutex lock_;
    std::unordered_map<std::string, Entry> cells_;  // cell key + measure number
    std::unordered_map<std::string, std::pair<FactCombinations, Clock::time_point>> combinations_;
    std::unordered_map<std::string, KeptResult> results_;  // by statement text
    std::deque<Kept> order_;                               // oldest first
    size_t bytes_ = 0;
};

}  // namespace orvik::cube
