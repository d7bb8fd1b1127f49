#include "olap/CellCache.h"

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
    if (added) Note(std::move(cell), false, 2 * it->first.size() + ValueBytes(value));
}

std::optional<FactCombinations> CellCache::FindCombinations(const std::string& key) {
    const std::lock_guard hold(lock_);
    auto found = combinations_.find(key);
    if (found == combinations_.end() || !Fresh(found->second.second)) return std::nullopt;
    return found->second.first;
}

void CellCache::StoreCombinations(const std::string& key, const FactCombinations& found) {
    const size_t bytes = 2 * key.size() + found.Positions.size() * sizeof(uint32_t);
    const std::lock_guard hold(lock_);
    if (bytes > maxBytes_ / 2) return;  // one answer would push out everything else
    auto [it, added] = combinations_.insert_or_assign(key, std::pair{found, Clock::now()});
    if (added) Note(key, true, bytes);
}

void CellCache::Note(std::string key, bool combinations, size_t bytes) {
    order_.push_back({std::move(key), combinations});
    bytes_ += bytes + kEntryOverhead;
    while (bytes_ > maxBytes_ && !order_.empty()) {
        const Kept& oldest = order_.front();
        size_t freed = 2 * oldest.Key.size() + kEntryOverhead;
        if (oldest.Combinations) {
            auto found = combinations_.find(oldest.Key);
            if (found != combinations_.end()) {
                freed += found->second.first.Positions.size() * sizeof(uint32_t);
                combinations_.erase(found);
            }
        } else {
            auto found = cells_.find(oldest.Key);
            if (found != cells_.end()) {
                freed += ValueBytes(found->second.Value);
                cells_.erase(found);
            }
        }
        bytes_ -= std::min(bytes_, freed);
        order_.pop_front();
    }
}

void CellCache::Clear() {
    const std::lock_guard hold(lock_);
    cells_.clear();
    combinations_.clear();
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
