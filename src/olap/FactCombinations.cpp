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
    // OneRowPerMember), for a query grouped by the fact table's foreign key.
    static OperandIndex ByPrimaryKey(const std::vector<Member*>& members) {
        const Hierarchy& hierarchy = *members.front()->Owner;
        std::vector<const std::string*> keyOf(hierarchy.ByLevel.back().size());
        for (const auto& [key, member] : hierarchy.ByPrimaryKey)
            if (member->LevelIndex < keyOf.size()) keyOf[member->LevelIndex] = &key;
        OperandIndex index(members.size());
        for (size_t p = members.size(); p-- > 0;)
            if (members[p]->LevelIndex < keyOf.size())
                if (const std::string* key = keyOf[members[p]->LevelIndex])
                    index.Add(*key + '\x1f', p);
        return index;
    }
    uint32_t First(const std::string& path) const {
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
            const uint32_t next = indexes[i]->Next(current[i]);
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
    for (const std::vector<Member*>& operand : question.Operands) {
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

}  // namespace

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
    for (const std::string& cubeName : question.Cubes) {
        ThrowIfStopped("The query");
        if (!CombinationsInCube(question, cubeName, found)) return std::nullopt;
    }
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
    for (const std::vector<Member*>& operand : operands) {
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
    std::vector<OperandIndex> indexes;
    std::vector<size_t> columnsOf;
    indexes.reserve(operands.size());
    for (size_t i = 0; i < operands.size(); ++i) {
        const Grouping& grouping = groupings[i];
        const bool byForeignKey =
            grouping.ByForeignKey && query.GroupedByForeignKey(grouping.Group);
        indexes.push_back(byForeignKey ? OperandIndex::ByPrimaryKey(operands[i])
                                       : OperandIndex(operands[i], grouping.From));
        columnsOf.push_back(
            byForeignKey ? 1 : static_cast<size_t>(operands[i].front()->Depth - grouping.From + 1));
    }
    std::vector<Variant> values(query.KeyColumns() + measures);
    std::vector<const OperandIndex*> byOperand;
    for (const OperandIndex& index : indexes) byOperand.push_back(&index);
    std::vector<uint32_t> firsts(operands.size());
    std::string path;
    for (; !rows.IsEOF(); rows.MoveNext()) {
        rows.GetRowValues(values);
        size_t column = 0;
        bool known = true;
        for (size_t i = 0; i < operands.size(); ++i) {
            path.clear();
            for (size_t c = 0; c < columnsOf[i]; ++c) AppendKeyPathPart(path, values[column++]);
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
    return true;
}

}  // namespace orvik::cube
