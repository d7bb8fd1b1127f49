#include "olap/CellCache.h"

#include <algorithm>

namespace orvik::cube {
namespace {

// What an entry costs beside its key: the hash node, the value, the order queue's copy of the key.
constexpr size_t kEntryOverhead = 96;

std::string CellKey(const std::string& key, int measure) {
    std::string cell = key;
    cell.append(reinterpret_cast<const char*>(&measure), sizeof measure);
    return cell;
}

size_t ValueBytes(const Variant& value) {
    return value.Type() == VariantType::String ? value.AsString().size() : 0;
}

}  // namespace

bool CellCache::Fresh(Clock::time_point read) const {
    return timeToLive_ == Clock::duration::zero() || Clock::now() - read <= timeToLive_;
}

std::optional<Variant> CellCache::Find(const std::string& key, int measure) {
    const std::lock_guard hold(lock_);
    auto found = cells_.find(CellKey(key, measure));
    if (found == cells_.end() || !Fresh(found->second.Read)) return std::nullopt;
    return found->second.Value;
}

void CellCache::Store(const std::string& key, int measure, const Variant& value) {
    const std::lock_guard hold(lock_);
    std::string cell = CellKey(key, measure);
    auto [it, added] = cells_.insert_or_assign(cell, Entry{value, Clock::now()});
    if (added) Note(std::move(cell), Kind::Cell, 2 * it->first.size() + ValueBytes(value));
}

namespace {

size_t CombinationBytes(const FactCombinations& found) {
    size_t bytes =
        found.Positions.size() * sizeof(uint32_t) + found.Values.size() * sizeof(Variant);
    for (const auto& members : found.Members) bytes += members.size() * sizeof(Member*);
    return bytes;
}

}  // namespace

std::optional<FactCombinations> CellCache::FindCombinations(const std::string& key) {
    const std::lock_guard hold(lock_);
    auto found = combinations_.find(key);
    if (found == combinations_.end() || !Fresh(found->second.second)) return std::nullopt;
    return found->second.first;
}

void CellCache::StoreCombinations(const std::string& key, const FactCombinations& found) {
    const size_t bytes = 2 * key.size() + CombinationBytes(found);
    const std::lock_guard hold(lock_);
    if (bytes > maxBytes_ / 2) return;  // one answer would push out everything else
    auto [it, added] = combinations_.insert_or_assign(key, std::pair{found, Clock::now()});
    if (added) Note(key, Kind::Combinations, bytes);
}

std::shared_ptr<const CellSetData> CellCache::FindResult(const std::string& text) {
    const std::lock_guard hold(lock_);
    auto found = results_.find(text);
    if (found == results_.end() || !Fresh(found->second.Read)) return nullptr;
    return found->second.Data;
}

void CellCache::StoreResult(const std::string& text, const CellSetData& result) {
    // Near enough to bound the cache: the cells with their texts, and a slot per member of each
    // tuple (the members' descriptions are shared, and the cube model holds the same texts).
    size_t bytes = 2 * text.size() + result.Cells.size() * sizeof(CellSetCell);
    for (const CellSetCell& cell : result.Cells) bytes += cell.FormattedValue.capacity();
    for (const CellSetAxis& axis : result.Axes)
        for (const CellSetPosition& position : axis.Positions)
            bytes += sizeof(CellSetPosition) + position.Members.size() * 2 * sizeof(void*);
    // One answer would push out everything else; and a result not kept is not copied.
    if (bytes > maxBytes_ / 2) return;
    auto kept = std::make_shared<const CellSetData>(result);
    const std::lock_guard hold(lock_);
    auto [it, added] =
        results_.insert_or_assign(text, KeptResult{std::move(kept), bytes, Clock::now()});
    if (added) Note(text, Kind::Result, bytes);
}

void CellCache::Note(std::string key, Kind what, size_t bytes) {
    order_.push_back({std::move(key), what});
    bytes_ += bytes + kEntryOverhead;
    while (bytes_ > maxBytes_ && !order_.empty()) {
        bytes_ -= std::min(bytes_, Drop(order_.front()));
        order_.pop_front();
    }
}

size_t CellCache::Drop(const Kept& oldest) {
    size_t freed = 2 * oldest.Key.size() + kEntryOverhead;
    switch (oldest.What) {
        case Kind::Combinations:
            if (auto found = combinations_.find(oldest.Key); found != combinations_.end()) {
                freed += CombinationBytes(found->second.first);
                combinations_.erase(found);
            }
            break;
        case Kind::Result:
            if (auto found = results_.find(oldest.Key); found != results_.end()) {
                freed += found->second.Bytes - 2 * oldest.Key.size();
                results_.erase(found);
            }
            break;
        case Kind::Cell:
            if (auto found = cells_.find(oldest.Key); found != cells_.end()) {
                freed += ValueBytes(found->second.Value);
                cells_.erase(found);
            }
            break;
    }
    return freed;
}

void CellCache::Clear() {
    const std::lock_guard hold(lock_);
    cells_.clear();
    combinations_.clear();
    results_.clear();
    order_.clear();
    bytes_ = 0;
}

size_t CellCache::Bytes() const {
    const std::lock_guard hold(lock_);
    return bytes_;
}

size_t CellCache::Cells() const {
    const std::lock_guard hold(lock_);
    return cells_.size();
}

}  // namespace orvik::cube
