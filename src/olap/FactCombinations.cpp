// Which members of a crossjoin's operands meet in the facts. A NON EMPTY crossjoin of large
// levels is sparse: of 365 days times a million customers only the pairs that sold anything
// matter, and the database knows them from one grouped query over the fact table. Asking it
// costs what the facts cost; building the product first would cost what the dimensions cost.
#include <algorithm>
#include <chrono>
#include <numeric>
#include <set>
#include <span>
#include <unordered_map>
#include <unordered_set>

#include "core/StopRequest.h"
#include "data/AdoRecordset.h"
#include "olap/CellCache.h"
#include "olap/CellFetcher.h"
#include "olap/StarQuery.h"

namespace orvik::cube {
namespace {

constexpr uint32_t kNoPosition = UINT32_MAX;

// The key path a grouped row gives for `member`: its key and its ancestors' keys from depth
// `from` down, as the row's columns hold them.
std::string KeyPath(const Member& member, int from) {
    std::vector<const Member*> chain;
    for (const Member* m = &member; m && !m->IsAll && m->Depth >= from; m = m->Parent)
        chain.push_back(m);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) path += (*it)->Key + '\x1f';
    return path;
}

// An operand's positions by key path; a member written twice in the operand has two.
class OperandIndex {
  public:
    OperandIndex(const std::vector<Member*>& members, int from)
        : next_(members.size(), kNoPosition) {
        first_.reserve(members.size());
        for (size_t p = members.size(); p-- > 0;) Add(KeyPath(*members[p], from), p);
    }
    // The positions by the dimension table's primary key of each member (see
    // OneRowPerMember), for a query grouped by the fact table's foreign key: the hierarchy's
    // own table of keys finds the member, and the member's place in its level the position.
    static OperandIndex ByPrimaryKey(const std::vector<Member*>& members) {
        const Hierarchy& hierarchy = *members.front()->Owner;
        OperandIndex index(0);
        index.byKey_ = &hierarchy;
        index.next_.assign(members.size(), kNoPosition);
        index.byLevelIndex_.assign(hierarchy.ByLevel.back().size(), kNoPosition);
        for (size_t p = members.size(); p-- > 0;) {
            const size_t at = members[p]->LevelIndex;
            if (at >= index.byLevelIndex_.size()) continue;
            index.next_[p] = index.byLevelIndex_[at];
            index.byLevelIndex_[at] = static_cast<uint32_t>(p);
        }
        return index;
    }
    uint32_t First(const std::string& path) const {
        if (byKey_) {
            const std::string_view key(path.data(), path.empty() ? 0 : path.size() - 1);
            auto found = byKey_->ByPrimaryKey.find(key);
            if (found == byKey_->ByPrimaryKey.end()) return kNoPosition;
            const size_t at = found->second->LevelIndex;
            return at < byLevelIndex_.size() ? byLevelIndex_[at] : kNoPosition;
        }
        auto found = first_.find(path);
        return found == first_.end() ? kNoPosition : found->second;
    }
    uint32_t Next(uint32_t position) const { return next_[position]; }

  private:
    explicit OperandIndex(size_t size) : next_(size, kNoPosition) { first_.reserve(size); }
    // Adds `position` under `path`; positions are added last to first.
    void Add(std::string path, size_t position) {
        auto [it, added] = first_.try_emplace(std::move(path), static_cast<uint32_t>(position));
        if (!added) {
            next_[position] = it->second;
            it->second = static_cast<uint32_t>(position);
        }
    }

    std::unordered_map<std::string, uint32_t> first_;
    std::vector<uint32_t> next_;
    const Hierarchy* byKey_ = nullptr;    // by primary key: the hierarchy whose keys find members
    std::vector<uint32_t> byLevelIndex_;  // then the first position of each member of the level
};

// Adds every combination of the operands' positions for one row: usually one, more when an
// operand repeats a member.
void AddCombinations(const std::vector<const OperandIndex*>& indexes,
                     const std::vector<uint32_t>& firsts, FactCombinations& found) {
    std::vector<uint32_t> current = firsts;
    for (;;) {
        found.Positions.insert(found.Positions.end(), current.begin(), current.end());
        size_t i = current.size();
        while (i-- > 0) {
            // A partly read operand has one position a key: its key's number.
            const uint32_t next = indexes[i] ? indexes[i]->Next(current[i]) : kNoPosition;
            if (next != kNoPosition) {
                current[i] = next;
                break;
            }
            current[i] = firsts[i];
        }
        if (i == SIZE_MAX) return;
    }
}

// Sorts the combinations into crossjoin order and drops repeats (the same pair from two cubes),
// their measure values moving along.
void SortCombinations(FactCombinations& found) {
    const size_t width = found.Width;
    const size_t valuesEach = found.ValuesEach;
    std::vector<uint32_t> order(found.Count());
    std::iota(order.begin(), order.end(), 0);
    const auto span = [&](uint32_t i) {
        return std::span<const uint32_t>(found.Positions.data() + size_t{i} * width, width);
    };
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return std::lexicographical_compare(span(a).begin(), span(a).end(), span(b).begin(),
                                            span(b).end());
    });
    std::vector<uint32_t> sorted;
    std::vector<Variant> values;
    sorted.reserve(found.Positions.size());
    values.reserve(found.Values.size());
    for (size_t k = 0; k < order.size(); ++k) {
        if (k && std::ranges::equal(span(order[k]), span(order[k - 1]))) continue;
        const auto s = span(order[k]);
        sorted.insert(sorted.end(), s.begin(), s.end());
        for (size_t v = 0; v < valuesEach; ++v)
            values.push_back(std::move(found.Values[order[k] * valuesEach + v]));
    }
    found.Positions = std::move(sorted);
    found.Values = std::move(values);
}

// What a NON EMPTY question asks, as a key of the cell cache: the cubes, the context and the
// compound written out, the operands (possibly millions of members) by their size and a hash.
std::string QuestionKey(const FactQuestion& question, const std::string& compound) {
    std::string key = "combinations\n";
    for (const std::string& cube : question.Cubes) key += cube + '\n';
    const auto bytes = [&](const auto& pointers) {
        key.append(reinterpret_cast<const char*>(pointers.data()),
                   pointers.size() * sizeof(pointers.front()));
        key += '\n';
    };
    bytes(question.Context);
    bytes(question.Measures);
    key += compound;
    for (size_t i = 0; i < question.Operands.size(); ++i) {
        if (const Level* level = question.PartialLevel(i)) {
            key += "\nlevel " + level->UniqueName;
            continue;
        }
        const std::vector<Member*>& operand = question.Operands[i];
        uint64_t hash = 1469598103934665603ull;  // FNV-1a over the members' addresses
        for (const Member* member : operand) {
            const auto bits = reinterpret_cast<uintptr_t>(member);
            for (size_t b = 0; b < sizeof bits; ++b) {
                hash ^= (bits >> (8 * b)) & 0xFF;
                hash *= 1099511628211ull;
            }
        }
        key += '\n' + std::to_string(operand.size()) + ':' + std::to_string(hash);
    }
    return key;
}

// True when every member of `hierarchy`'s lowest level (which `operand` holds) comes from exactly
// one row of its dimension table: grouping the facts by their foreign key then groups them by
// member, without joining the dimension table at all.
bool OneRowPerMember(const Hierarchy& hierarchy, const std::vector<Member*>& operand) {
    const HierarchyDefinition& definition = *hierarchy.Definition;
    const Member& first = *operand.front();
    return !hierarchy.IsMeasures && !first.Calculated && !IsParentChild(first) &&
           LevelIndexOf(first) + 1 == hierarchy.Levels.size() && definition.Table &&
           definition.PrimaryKeyTable.empty() && !definition.PrimaryKey.empty() &&
           !hierarchy.ByLevel.empty() &&
           hierarchy.ByPrimaryKey.size() == hierarchy.ByLevel.back().size();
}

// True when the members of a partly read `level` can be found by the facts' foreign key: it is
// the lowest level, and the key is its hierarchy's own table's.
bool PartialByForeignKey(const Hierarchy& hierarchy, const Level& level) {
    const HierarchyDefinition& definition = *hierarchy.Definition;
    return static_cast<size_t>(level.Depth) + 1 == hierarchy.Levels.size() && definition.Table &&
           definition.PrimaryKeyTable.empty() && !definition.PrimaryKey.empty();
}

// Puts each partly read operand's members in hierarchy order, their rows' positions following.
void OrderPartialMembers(FactCombinations& found) {
    for (size_t i = 0; i < found.Members.size(); ++i) {
        std::vector<Member*>& members = found.Members[i];
        if (members.empty()) continue;
        std::vector<uint32_t> order(members.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            return members[a]->Ordinal < members[b]->Ordinal;
        });
        std::vector<uint32_t> placeOf(members.size());
        std::vector<Member*> sorted(members.size());
        for (size_t p = 0; p < order.size(); ++p) {
            placeOf[order[p]] = static_cast<uint32_t>(p);
            sorted[p] = members[order[p]];
        }
        members = std::move(sorted);
        for (size_t r = 0; r < found.Count(); ++r) {
            uint32_t& position = found.Positions[r * found.Width + i];
            position = placeOf[position];
        }
    }
}

}  // namespace

// The keys a partly read operand's rows gave, numbered as they came: until ResolvePartial reads
// the members, a row's position for that operand is its key's number.
struct CellFetcher::PartialKeys {
    bool ByForeignKey = false;  // the keys are the facts' foreign key, else key paths
    int From = 0;               // the depth key paths start at
    std::unordered_map<std::string, uint32_t> Numbers;
    std::vector<std::string> Paths;  // by number
    std::vector<Variant> Keys;       // by number: the foreign key, or the level's own key

    uint32_t Number(const std::string& path, const Variant& key) {
        auto [it, added] = Numbers.try_emplace(path, static_cast<uint32_t>(Paths.size()));
        if (added) {
            Paths.push_back(path);
            Keys.push_back(key);
        }
        return it->second;
    }
};

void CellFetcher::ResolvePartial(const FactQuestion& question, std::vector<PartialKeys>& keys,
                                 size_t firstRow, FactCombinations& found) {
    const size_t width = found.Width;
    bool merged = false;  // two keys gave one member: its rows may hold part of a cell each
    std::vector<std::vector<uint32_t>> placeOf(width);
    for (size_t i = 0; i < width; ++i) {
        const Level* level = question.PartialLevel(i);
        if (!level) continue;
        PartialKeys& partial = keys[i];
        Hierarchy& hierarchy = *level->Owner;
        std::vector<Member*> memberOf(partial.Keys.size(), nullptr);
        if (partial.ByForeignKey) {
            memberOf = cube_.LoadByPrimaryKeys(hierarchy, partial.Keys);
            for (Member*& member : memberOf)
                if (member && member->Depth != level->Depth) member = nullptr;
        } else {
            const std::vector<Member*> read = cube_.LoadByLevelKeys(*level, partial.Keys);
            std::unordered_map<std::string, Member*> byPath;
            byPath.reserve(read.size());
            for (Member* member : read) byPath.emplace(KeyPath(*member, partial.From), member);
            for (size_t n = 0; n < partial.Paths.size(); ++n)
                if (auto it = byPath.find(partial.Paths[n]); it != byPath.end())
                    memberOf[n] = it->second;
        }
        std::vector<Member*>& members = found.Members[i];
        std::unordered_map<const Member*, uint32_t> places;
        places.reserve(members.size() + memberOf.size());
        for (size_t p = 0; p < members.size(); ++p)
            places.emplace(members[p], static_cast<uint32_t>(p));
        std::unordered_set<const Member*> named;  // by this cube's rows
        placeOf[i].assign(memberOf.size(), kNoPosition);
        for (size_t n = 0; n < memberOf.size(); ++n) {
            if (!memberOf[n]) continue;
            auto [it, added] =
                places.try_emplace(memberOf[n], static_cast<uint32_t>(members.size()));
            if (added) members.push_back(memberOf[n]);
            merged = !named.insert(memberOf[n]).second || merged;
            placeOf[i][n] = it->second;
        }
    }
    const size_t valuesEach = found.ValuesEach;
    size_t kept = firstRow;
    for (size_t r = firstRow; r < found.Count(); ++r) {
        bool known = true;
        for (size_t i = 0; i < width && known; ++i)
            if (!placeOf[i].empty())
                known = placeOf[i][found.Positions[r * width + i]] != kNoPosition;
        if (!known) continue;  // a key the dimension table lacks
        for (size_t i = 0; i < width; ++i) {
            uint32_t position = found.Positions[r * width + i];
            if (!placeOf[i].empty()) position = placeOf[i][position];
            found.Positions[kept * width + i] = position;
        }
        if (kept != r)
            for (size_t v = 0; v < valuesEach; ++v)
                found.Values[kept * valuesEach + v] = std::move(found.Values[r * valuesEach + v]);
        ++kept;
    }
    found.Positions.resize(kept * width);
    found.Values.resize(kept * valuesEach);
    if (merged && valuesEach) {
        // The cells are read afterwards, whole; the repeated combinations go in sorting.
        found.ValuesEach = 0;
        found.Values.clear();
    }
}

std::optional<FactCombinations> CellFetcher::CombinationsWithFacts(const FactQuestion& question) {
    const std::string key =
        cache_ ? QuestionKey(question, question.Compound >= 0
                                           ? compoundKeys_[static_cast<size_t>(question.Compound)]
                                           : std::string())
               : std::string();
    if (cache_)
        if (std::optional<FactCombinations> kept = cache_->FindCombinations(key)) return kept;
    FactCombinations found;
    found.Width = question.Operands.size();
    // Measures are read along only for one cube: two cubes would each know half of a cell.
    found.ValuesEach = question.Cubes.size() == 1 ? question.Measures.size() : 0;
    if (!question.Partial.empty()) found.Members.resize(found.Width);
    for (const std::string& cubeName : question.Cubes) {
        ThrowIfStopped("The query");
        if (!CombinationsInCube(question, cubeName, found)) return std::nullopt;
    }
    OrderPartialMembers(found);
    SortCombinations(found);
    if (cache_) cache_->StoreCombinations(key, found);
    return found;
}

bool CellFetcher::CombinationsInCube(const FactQuestion& question, const std::string& cubeName,
                                     FactCombinations& found) {
    const auto& operands = question.Operands;
    StarQuery query(cube_, BaseCube(schema_, cube_.Definition(), cubeName));
    // How each operand is grouped: the query's first group for it, and the level its key paths
    // start at (a parent-child operand: its own depth; by foreign key: none).
    struct Grouping {
        size_t Group = 0;
        int From = 0;
        bool ByForeignKey = false;
    };
    std::vector<Grouping> groupings;
    std::vector<const Hierarchy*> own;
    for (size_t i = 0; i < operands.size(); ++i) {
        if (const Level* level = question.PartialLevel(i)) {
            Hierarchy& hierarchy = *level->Owner;
            own.push_back(&hierarchy);
            Grouping grouping{query.Groups(), StarQuery::FirstKeyDepth(hierarchy, level->Depth),
                              false};
            if (PartialByForeignKey(hierarchy, *level)) {
                if (!query.GroupByForeignKey(hierarchy)) return true;
                grouping.ByForeignKey = true;
            } else {
                if (!query.Join(hierarchy)) return true;
                for (int d = grouping.From; d <= level->Depth; ++d) query.GroupBy(hierarchy, d);
            }
            groupings.push_back(grouping);
            continue;
        }
        const std::vector<Member*>& operand = operands[i];
        if (operand.empty()) return true;
        const Hierarchy& hierarchy = *operand.front()->Owner;
        const int depth = operand.front()->Depth;
        own.push_back(&hierarchy);
        Grouping grouping{query.Groups(), depth, false};
        // A whole level, or a large part of it, is read by the facts' own keys; a handful of
        // members is cheaper to ask for by key below.
        if (OneRowPerMember(hierarchy, operand) &&
            (operand.size() > 1000 || operand.size() >= hierarchy.ByLevel.back().size())) {
            // A cube without the hierarchy has facts only at its All member, which no operand
            // holds.
            if (!query.GroupByForeignKey(hierarchy)) return true;
            grouping.ByForeignKey = true;
            grouping.From = StarQuery::FirstKeyDepth(hierarchy, depth);
            groupings.push_back(grouping);
            continue;
        }
        if (!query.Join(hierarchy)) return true;
        if (IsParentChild(*operand.front())) {
            query.GroupBySubtrees({operand.begin(), operand.end()});
            groupings.push_back(grouping);
            continue;
        }
        grouping.From = StarQuery::FirstKeyDepth(hierarchy, depth);
        for (int d = grouping.From; d <= depth; ++d) query.GroupBy(hierarchy, d);
        std::set<std::string> keys;
        bool null = false;
        for (const Member* member : operand) {
            if (member->KeySql == "NULL")
                null = true;
            else
                keys.insert(member->KeySql);
        }
        if (keys.size() <= 1000 && keys.size() + (null ? 1 : 0) < DistinctKeys(hierarchy, depth))
            query.WhereKeyIn(hierarchy, depth, {keys.begin(), keys.end()}, null);
        groupings.push_back(grouping);
    }
    for (const Member* member : question.Context) {
        if (!member || member->IsAll || member->Owner->IsMeasures) continue;
        if (std::find(own.begin(), own.end(), member->Owner) != own.end()) continue;
        if (!query.Join(*member->Owner)) return true;
        query.WhereMember(*member);
    }
    if (question.Compound >= 0)
        query.WhereAnyTuple(compounds_[static_cast<size_t>(question.Compound)]);
    const size_t measures = found.ValuesEach;
    for (size_t m = 0; m < measures; ++m) query.Select(*question.Measures[m]->Measure);

    const auto start = std::chrono::steady_clock::now();
    CADORecordset rows(&cube_.Database());
    rows.Open(query.Sql());
    // Each operand's positions by the keys its columns give: an aggregate table that keeps a
    // level's own keys was grouped by those rather than by the foreign key asked for.
    // A partly read operand's keys are numbered instead, its members read once all rows are in.
    std::vector<OperandIndex> indexes;
    std::vector<PartialKeys> partialKeys(operands.size());
    std::vector<size_t> columnsOf;
    indexes.reserve(operands.size());
    for (size_t i = 0; i < operands.size(); ++i) {
        const Grouping& grouping = groupings[i];
        const bool byForeignKey =
            grouping.ByForeignKey && query.GroupedByForeignKey(grouping.Group);
        const Level* partial = question.PartialLevel(i);
        if (partial)
            indexes.emplace_back(std::vector<Member*>(), 0);
        else
            indexes.push_back(byForeignKey ? OperandIndex::ByPrimaryKey(operands[i])
                                           : OperandIndex(operands[i], grouping.From));
        partialKeys[i].ByForeignKey = byForeignKey;
        partialKeys[i].From = grouping.From;
        const int depth = partial ? partial->Depth : operands[i].front()->Depth;
        columnsOf.push_back(byForeignKey ? 1 : static_cast<size_t>(depth - grouping.From + 1));
    }
    std::vector<Variant> values(query.KeyColumns() + measures);
    std::vector<const OperandIndex*> byOperand;
    for (size_t i = 0; i < operands.size(); ++i)
        byOperand.push_back(question.PartialLevel(i) ? nullptr : &indexes[i]);
    const size_t firstRow = found.Count();
    std::vector<uint32_t> firsts(operands.size());
    std::string path;
    for (; !rows.IsEOF(); rows.MoveNext()) {
        rows.GetRowValues(values);
        size_t column = 0;
        bool known = true;
        for (size_t i = 0; i < operands.size(); ++i) {
            path.clear();
            for (size_t c = 0; c < columnsOf[i]; ++c) AppendKeyPathPart(path, values[column++]);
            if (question.PartialLevel(i)) {
                firsts[i] = partialKeys[i].Number(path, values[column - 1]);
                continue;
            }
            firsts[i] = indexes[i].First(path);
            known = known && firsts[i] != kNoPosition;
        }
        if (!known) continue;  // a key the operand does not hold: read, and left out
        const size_t before = found.Count();
        AddCombinations(byOperand, firsts, found);
        for (size_t added = before; added < found.Count(); ++added)
            for (size_t m = 0; m < measures; ++m)
                found.Values.push_back(
                    MeasureCellValue(*question.Measures[m]->Measure, values[column + m]));
        if (found.Count() > question.Limit) return false;
    }
    sqlSeconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ++sqlQueries_;
    if (!question.Partial.empty()) ResolvePartial(question, partialKeys, firstRow, found);
    return true;
}

}  // namespace orvik::cube
