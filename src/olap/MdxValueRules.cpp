#include "olap/MdxValueRules.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "olap/NameCase.h"

namespace orvik::cube::mdxvalue {

// A single bare word used as a flag argument (PRE, POST, DESC, SELF_AND_AFTER, ...).
std::string Flag(const mdx::Expr& expr) {
    if (expr.What == mdx::Expr::Kind::Name && expr.Segments.size() == 1 && !expr.Segments[0].Quoted)
        return LowerAscii(expr.Segments[0].Name);
    if (expr.What == mdx::Expr::Kind::String) return LowerAscii(expr.Text);
    return "";
}

MdxValue Number(double value, bool integer) {
    MdxValue result;
    result.What = MdxValue::Type::Number;
    result.Number = value;
    result.Integer = integer;
    return result;
}

MdxValue Text(std::string text) {
    MdxValue result;
    result.What = MdxValue::Type::String;
    result.Text = std::move(text);
    return result;
}

MdxValue Truth(bool value) {
    MdxValue result;
    result.What = MdxValue::Type::Bool;
    result.Number = value ? 1 : 0;
    return result;
}

bool IsTrue(const MdxValue& value) {
    switch (value.What) {
        case MdxValue::Type::Empty:
            return false;
        case MdxValue::Type::String:
            return !value.Text.empty();
        default:
            return value.Number != 0;
    }
}

double AsNumber(const MdxValue& value) {
    if (value.What == MdxValue::Type::String) return std::strtod(value.Text.c_str(), nullptr);
    return value.What == MdxValue::Type::Empty ? 0 : value.Number;
}

std::string AsText(const MdxValue& value) {
    switch (value.What) {
        case MdxValue::Type::Empty:
            return "";
        case MdxValue::Type::String:
            return value.Text;
        case MdxValue::Type::Bool:
            return value.Number != 0 ? "true" : "false";
        case MdxValue::Type::Number: {
            // Plain digits: a number joined into a text ("Total " || 3405) is not a cell to be
            // formatted, and a grouping comma there would read as a list separator.
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%.15g", value.Number);
            return buffer;
        }
    }
    return "";
}

// Order values: empty first, then numbers, then strings.
int Compare(const MdxValue& a, const MdxValue& b) {
    if (a.IsEmpty() || b.IsEmpty()) return a.IsEmpty() == b.IsEmpty() ? 0 : (a.IsEmpty() ? -1 : 1);
    if (a.What == MdxValue::Type::String && b.What == MdxValue::Type::String)
        return a.Text < b.Text ? -1 : (a.Text > b.Text ? 1 : 0);
    const double x = AsNumber(a), y = AsNumber(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

// Order's ASC and DESC keep the hierarchy: members are ranked among their siblings by their
// own values and each comes before its descendants, so cities come out grouped under their
// states and countries, which are ranked by their own totals. `keyOf` gives the value of a tuple
// whose last member may be an ancestor of the member the set holds.
TupleList OrderHierarchically(TupleList set, const std::function<MdxValue(const Tuple&)>& keyOf,
                              bool descending) {
    // Each member's line of ancestors from the top of its hierarchy down to itself.
    std::vector<std::vector<std::vector<Member*>>> chains(set.size());
    for (size_t i = 0; i < set.size(); ++i)
        for (Member* member : set[i]) {
            std::vector<Member*> chain;
            for (Member* m = member; m; m = m->Parent) chain.push_back(m);
            std::reverse(chain.begin(), chain.end());
            chains[i].push_back(std::move(chain));
        }
    std::map<Tuple, MdxValue> keys;
    auto key = [&](const Tuple& tuple, size_t position, Member* ancestor) -> const MdxValue& {
        Tuple prefix(tuple.begin(), tuple.begin() + static_cast<long>(position));
        prefix.push_back(ancestor);
        auto found = keys.find(prefix);
        if (found == keys.end()) found = keys.emplace(prefix, keyOf(prefix)).first;
        return found->second;
    };
    auto before = [&](size_t x, size_t y) {
        const Tuple &a = set[x], &b = set[y];
        for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
            if (a[i] == b[i]) continue;
            const auto &left = chains[x][i], &right = chains[y][i];
            size_t d = 0;
            while (d < left.size() && d < right.size() && left[d] == right[d]) ++d;
            if (d == left.size()) return true;  // an ancestor before its descendants
            if (d == right.size()) return false;
            const int c = Compare(key(a, i, left[d]), key(b, i, right[d]));
            if (c != 0) return descending ? c > 0 : c < 0;
            return left[d]->Ordinal < right[d]->Ordinal;
        }
        return false;
    };
    std::vector<size_t> order(set.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), before);
    TupleList sorted;
    sorted.reserve(set.size());
    for (size_t i : order) sorted.push_back(std::move(set[i]));
    return sorted;
}

}  // namespace orvik::cube::mdxvalue
