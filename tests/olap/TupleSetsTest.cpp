#include "olap/TupleSets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>

namespace orvik::cube {
namespace {

// The set functions as MDX defines them, one scan per tuple: what the hashed forms must match.
bool Holds(const TupleList& set, const Tuple& tuple) {
    return std::find(set.begin(), set.end(), tuple) != set.end();
}

TupleList PlainKeep(const TupleList& left, const TupleList& right, bool wanted, bool all) {
    TupleList result;
    for (const Tuple& t : left)
        if (Holds(right, t) == wanted && (all || !Holds(result, t))) result.push_back(t);
    return result;
}

TupleList PlainUnion(const TupleList& left, const TupleList& right, bool all) {
    TupleList result;
    for (const TupleList* part : {&left, &right})
        for (const Tuple& t : *part)
            if (all || !Holds(result, t)) result.push_back(t);
    return result;
}

class TupleSetsTest : public ::testing::Test {
  protected:
    // Two-member tuples over a handful of members, so repeats are common; a null stands where a
    // hierarchy has no member, as in the evaluator's tuples.
    TupleList RandomSet(std::mt19937& random, size_t size) {
        std::uniform_int_distribution<int> pick(0, 5);
        TupleList set;
        for (size_t i = 0; i < size; ++i) {
            const int a = pick(random);
            const int b = pick(random);
            set.push_back({&members_[static_cast<size_t>(a)],
                           b == 5 ? nullptr : &members_[static_cast<size_t>(b)]});
        }
        return set;
    }

    std::deque<Member> members_ = std::deque<Member>(6);
};

TEST_F(TupleSetsTest, EveryOperationKeepsTheOrderAndRepeatsOfTheDefinition) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 200; ++round) {
        const TupleList left = RandomSet(random, static_cast<size_t>(round % 13));
        const TupleList right = RandomSet(random, static_cast<size_t>(round % 7));
        for (const bool all : {false, true}) {
            EXPECT_EQ(UnionTuples(left, right, all), PlainUnion(left, right, all));
            EXPECT_EQ(IntersectTuples(left, right, all), PlainKeep(left, right, true, all));
            EXPECT_EQ(ExceptTuples(left, right, all), PlainKeep(left, right, false, all));
        }
        EXPECT_EQ(DistinctTuples(left), PlainUnion(left, {}, false));
    }
}

TEST_F(TupleSetsTest, TuplesOfDifferentLengthsOrOrderAreDifferent) {
    Member* a = &members_[0];
    Member* b = &members_[1];
    const TupleList set = {{a, b}, {b, a}, {a}, {a, b, nullptr}, {a, b}};
    EXPECT_EQ(DistinctTuples(set).size(), 4u);
    EXPECT_EQ(TupleHash{}({a, b}), TupleHash{}({a, b}));
}

}  // namespace
}  // namespace orvik::cube
