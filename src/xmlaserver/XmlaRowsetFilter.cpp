#include "xmlaserver/XmlaRowsetFilter.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <unordered_map>

#include "xmlaserver/XmlaReplyWriter.h"

namespace orvik::xmla {
namespace {

// The tree operations of the members rowset, as bits.
enum TreeOp : long {
    Children = 1,
    Siblings = 2,
    Parent = 4,
    Self = 8,
    Descendants = 16,
    Ancestors = 32,
};

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::optional<size_t> ColumnOf(const RowStore& rows, const std::string& name) {
    for (size_t c = 0; c < rows.FieldCount(); ++c)
        if (SameName(rows.Fields()[c].Name, name)) return c;
    return std::nullopt;
}

std::string TextAt(const RowStore& rows, size_t row, size_t column) {
    std::string text;
    XsdText(rows.Get(row, column), text);
    return text;
}

std::string RestrictionValue(const std::vector<std::pair<std::string, std::string>>& restrictions,
                             const char* name) {
    for (const auto& [key, value] : restrictions)
        if (SameName(key, name)) return value;
    return {};
}

}  // namespace

RowsetFilter::RowsetFilter(const RowStore& rows,
                           const std::vector<std::pair<std::string, std::string>>& restrictions)
    : kept_(rows.RowCount(), true) {
    long treeOp = 0;
    for (const auto& [name, value] : restrictions)
        if (SameName(name, "TREE_OP")) treeOp = std::strtol(value.c_str(), nullptr, 10);
    const auto memberColumn = ColumnOf(rows, "MEMBER_UNIQUE_NAME");
    const auto parentColumn = ColumnOf(rows, "PARENT_UNIQUE_NAME");
    for (const auto& [name, value] : restrictions) {
        if (SameName(name, "CATALOG_NAME") || SameName(name, "CUBE_NAME") ||
            SameName(name, "TREE_OP"))
            continue;
        if (treeOp != 0 && SameName(name, "MEMBER_UNIQUE_NAME") && memberColumn && parentColumn)
            continue;  // below
        const auto column = ColumnOf(rows, name);
        if (!column) continue;
        for (size_t r = 0; r < rows.RowCount(); ++r)
            if (kept_[r] && !SameName(TextAt(rows, r, *column), value)) kept_[r] = false;
    }
    if (treeOp == 0 || !memberColumn || !parentColumn) return;

    const std::string member = Lower(RestrictionValue(restrictions, "MEMBER_UNIQUE_NAME"));
    std::unordered_map<std::string, std::string> parentOf;  // lower-case names
    std::vector<std::string> names(rows.RowCount()), parents(rows.RowCount());
    for (size_t r = 0; r < rows.RowCount(); ++r) {
        names[r] = Lower(TextAt(rows, r, *memberColumn));
        parents[r] = Lower(TextAt(rows, r, *parentColumn));
        parentOf.emplace(names[r], parents[r]);
    }
    const auto found = parentOf.find(member);
    const std::string parent = found == parentOf.end() ? std::string() : found->second;
    // Whether `ancestor` is above `name`; the walk is bounded in case the rowset holds a cycle.
    auto isAbove = [&](const std::string& ancestor, std::string name) {
        for (size_t steps = 0; steps < parentOf.size(); ++steps) {
            const auto up = parentOf.find(name);
            if (up == parentOf.end() || up->second.empty()) return false;
            if (up->second == ancestor) return true;
            name = up->second;
        }
        return false;
    };
    for (size_t r = 0; r < rows.RowCount(); ++r) {
        if (!kept_[r]) continue;
        const std::string& name = names[r];
        bool wanted = false;
        if ((treeOp & Self) && name == member) wanted = true;
        if ((treeOp & Children) && parents[r] == member) wanted = true;
        if ((treeOp & Parent) && !parent.empty() && name == parent) wanted = true;
        if ((treeOp & Siblings) && found != parentOf.end() && parents[r] == parent &&
            name != member)
            wanted = true;
        if ((treeOp & Descendants) && isAbove(member, name)) wanted = true;
        if ((treeOp & Ancestors) && isAbove(name, member)) wanted = true;
        kept_[r] = wanted;
    }
}

size_t RowsetFilter::KeptCount() const {
    return static_cast<size_t>(std::count(kept_.begin(), kept_.end(), true));
}

}  // namespace orvik::xmla
