// Set operations over tuples in time that grows with the sets, not with their square: a tuple is
// hashed by the identities of its members (members are unique objects of the cube), so "seen it
// already?" is one lookup instead of a scan of everything kept so far. Each operation keeps the
// order the MDX set functions define: left before right, first occurrence wins.
#pragma once

#include <cstddef>
#include <unordered_set>

#include "olap/CellFetcher.h"

namespace orvik::cube {

// Hashes a tuple by its members' addresses.
struct TupleHash {
    size_t operator()(const Tuple& tuple) const;
};

// The tuples met so far.
class TupleSeen {
  public:
    // Notes `tuple`; false when it was met before.
    bool Insert(const Tuple& tuple) { return seen_.insert(tuple).second; }
    // True when `tuple` was met.
    bool Contains(const Tuple& tuple) const { return seen_.contains(tuple); }
    void Reserve(size_t count) { seen_.reserve(count); }

  private:
    std::unordered_set<Tuple, TupleHash> seen_;
};

// A set of one-member tuples, one for each of `members`.
TupleList Singles(const std::vector<Member*>& members);
// Each tuple of `set` once, at its first place.
TupleList DistinctTuples(TupleList set);
// `left` then `right`; without `all`, each tuple once at its first place.
TupleList UnionTuples(TupleList left, const TupleList& right, bool all);
// The tuples of `left` that `right` holds (Intersect) or lacks (Except), in `left`'s order;
// without `all`, each once.
TupleList IntersectTuples(const TupleList& left, const TupleList& right, bool all);
TupleList ExceptTuples(const TupleList& left, const TupleList& right, bool all);

}  // namespace orvik::cube
