#include "model/PropertyReference.h"

#include <optional>
#include <vector>

#include "model/Report.h"

namespace {

std::optional<size_t> IndexOf(const std::vector<COvInfoProp*>& props, const COvInfoProp* target) {
    for (size_t i = 0; i < props.size(); ++i) {
        if (props[i] == target) return i + 1;
    }
    return std::nullopt;
}

// Splits "S.2.5" into its letter and positions; nullopt unless every position is a number >= 1.
std::optional<std::pair<char, std::vector<size_t>>> ParseReference(std::string_view text) {
    const size_t open = text.find('{');
    const size_t close = text.find('}', open == std::string_view::npos ? 0 : open);
    if (open == std::string_view::npos || close == std::string_view::npos) return std::nullopt;
    std::string_view inner = text.substr(open + 1, close - open - 1);
    if (inner.size() < 3 || inner[1] != '.') return std::nullopt;
    const char letter = inner[0];
    std::vector<size_t> positions;
    inner.remove_prefix(2);
    while (true) {
        const size_t dot = inner.find('.');
        const std::string_view field = inner.substr(0, dot);
        if (field.empty() || field.size() > 9) return std::nullopt;
        size_t value = 0;
        for (const char c : field) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + (c - '0');
        }
        if (value == 0) return std::nullopt;
        positions.push_back(value);
        if (dot == std::string_view::npos) break;
        inner.remove_prefix(dot + 1);
    }
    return std::make_pair(letter, positions);
}

template <typename T>
const T* At(const std::vector<std::unique_ptr<T>>& items, size_t position) {
    return position >= 1 && position <= items.size() ? items[position - 1].get() : nullptr;
}

COvInfoProp* PropAt(const COvInfoObject* object, size_t position) {
    if (!object || position < 1 || position > object->Props.size()) return nullptr;
    return object->Props[position - 1];
}

}  // namespace

std::string FormatPropertyReference(const CReport& report, const COvInfoProp* target) {
    if (!target) return {};
    for (size_t d = 0; d < report.DataSources.size(); ++d) {
        if (const auto p = IndexOf(report.DataSources[d]->Props, target)) {
            return "{D." + std::to_string(d + 1) + "." + std::to_string(*p) + "}";
        }
    }
    for (size_t s = 0; s < report.Sheets.size(); ++s) {
        const COvInfoSheet& sheet = *report.Sheets[s];
        if (const auto p = IndexOf(sheet.Props, target)) {
            return "{S." + std::to_string(s + 1) + "." + std::to_string(*p) + "}";
        }
        for (size_t c = 0; c < sheet.GridColumns.size(); ++c) {
            if (const auto p = IndexOf(sheet.GridColumns[c]->Props, target)) {
                return "{C." + std::to_string(s + 1) + "." + std::to_string(c + 1) + "." +
                       std::to_string(*p) + "}";
            }
        }
    }
    return {};
}

COvInfoProp* ResolvePropertyReference(const CReport& report, std::string_view reference) {
    const auto parsed = ParseReference(reference);
    if (!parsed) return nullptr;
    const auto& [letter, at] = *parsed;
    if (letter == 'D' && at.size() == 2) return PropAt(At(report.DataSources, at[0]), at[1]);
    if (letter == 'S' && at.size() == 2) return PropAt(At(report.Sheets, at[0]), at[1]);
    if (letter == 'C' && at.size() == 3) {
        const COvInfoSheet* sheet = At(report.Sheets, at[0]);
        return sheet ? PropAt(At(sheet->GridColumns, at[1]), at[2]) : nullptr;
    }
    return nullptr;
}
