#include "olap/PropertyValuePool.h"

#include <limits>
#include <stdexcept>

namespace orvik::cube {
namespace {

// What tells two values apart: the type, then the exact bits of a number or the text.
std::string IdentityOf(const Variant& value) {
    std::string identity(1, static_cast<char>(value.Type()));
    switch (value.Type()) {
        case VariantType::Null:
        case VariantType::Empty:
            break;
        case VariantType::String:
            identity += value.AsString();
            break;
        case VariantType::Decimal:
            identity += value.AsDecimal().ToText();
            break;
        case VariantType::R4:
        case VariantType::R8:
        case VariantType::Date: {
            const double number =
                value.Type() == VariantType::Date ? value.AsDate() : value.AsDouble();
            identity.append(reinterpret_cast<const char*>(&number), sizeof number);
            break;
        }
        default: {
            const int64_t number = value.AsInt64();
            identity.append(reinterpret_cast<const char*>(&number), sizeof number);
            break;
        }
    }
    return identity;
}

}  // namespace

uint32_t PropertyValuePool::Add(Variant value) {
    if (value.IsNull() || value.IsEmpty()) return 0;
    auto [found, added] = numbers_.try_emplace(IdentityOf(value), 0);
    if (!added) return found->second;
    // Past four thousand million distinct values a member's number could not hold them.
    if (values_.size() >= std::numeric_limits<uint32_t>::max())
        throw std::length_error("more distinct member property values than a cube can keep");
    found->second = static_cast<uint32_t>(values_.size());
    values_.push_back(std::move(value));
    return found->second;
}

}  // namespace orvik::cube
