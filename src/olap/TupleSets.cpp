#include "olap/TupleSets.h"

#include <functional>

namespace orvik::cube {
namespace {

// Keeps the tuples of `left` whose presence in `right` is `wanted`.
TupleList KeepByPresence(const TupleList& left, const TupleList& right, bool wanted, bool all) {
    TupleSeen inRight;
    inRight.Reserve(right.size());
    for (const Tuple& tuple : right) inRight.Insert(tuple);
    TupleSeen kept;
    TupleList result;
    for (const Tuple& tuple : left) {
        if (inRight.Contains(tuple) != wanted) continue;
        if (all || kept.Insert(tuple)) result.push_back(tuple);
    }
    return result;
}

}  // namespace

size_t TupleHash::operator()(const Tuple& tuple) const {
    size_t hash = tuple.size();
    for (const Member* member : tuple)
        hash ^=
            std::hash<const Member*>{}(member) + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2);
    return hash;
}

TupleList Singles(const std::vector<Member*>& members) {
    TupleList set;
    set.reserve(members.size());
    for (Member* member : members) set.push_back({member});
    return set;
}

TupleList DistinctTuples(TupleList set) {
    TupleSeen seen;
    seen.Reserve(set.size());
    TupleList result;
    result.reserve(set.size());
    for (Tuple& tuple : set)
        if (seen.Insert(tuple)) result.push_back(std::move(tuple));
    return result;
}

TupleList UnionTuples(TupleList left, const TupleList& right, bool all) {
    if (all) {
        left.insert(left.end(), right.begin(), right.end());
        return left;
    }
    TupleList joined = std::move(left);
    joined.insert(joined.end(), right.begin(), right.end());
    return DistinctTuples(std::move(joined));
}

TupleList IntersectTuples(const TupleList& left, const TupleList& right, bool all) {
    return KeepByPresence(left, right, true, all);
}

TupleList ExceptTuples(const TupleList& left, const TupleList& right, bool all) {
    return KeepByPresence(left, right, false, all);
}

}  // namespace orvik::cube
