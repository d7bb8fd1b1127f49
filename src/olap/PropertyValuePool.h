// The distinct values of a hierarchy's member properties, each kept once. Most properties repeat
// a few values over many members (gender, education, store type), so a member holds only the
// number of each of its values here: four bytes a property instead of a whole value.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/Variant.h"

namespace orvik::cube {

class PropertyValuePool {
  public:
    // Number 0 is the null value, there from the start.
    PropertyValuePool() : values_{Variant::MakeNull()} {}

    // The number of `value`, added when it is new.
    uint32_t Add(Variant value);
    // The value numbered `number`; null for a number the pool never gave.
    const Variant& At(uint32_t number) const {
        return number < values_.size() ? values_[number] : values_.front();
    }
    // Drops what finding repeats needs, once no more values come.
    void DoneAdding() { numbers_ = {}; }

  private:
    std::vector<Variant> values_;
    std::unordered_map<std::string, uint32_t> numbers_;  // by type and exact content
};

}  // namespace orvik::cube
