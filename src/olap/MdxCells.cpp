// The evaluator's cells: the value at a tuple, a cell's value and format in the current
// context, and sets aggregated into one value.
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>

#include "core/StopRequest.h"
#include "olap/FormatString.h"
#include "olap/MdxEvaluator.h"
#include "olap/MdxValueRules.h"
#include "olap/NameCase.h"

namespace orvik::cube {

using mdx::Expr;
using namespace mdxvalue;

// --- values --------------------------------------------------------------------------------------

MdxValue QueryEvaluator::ValueAt(const Tuple& tuple) {
    // A tuple with a member that is not there (the parent of the top) has no cell.
    if (std::find(tuple.begin(), tuple.end(), nullptr) != tuple.end()) return {};
    const TupleContext inTuple(*this, tuple);
    return CellValue();
}

MdxValue QueryEvaluator::ValueWith(const Tuple& tuple, const Expr& value) {
    const TupleContext inTuple(*this, tuple);
    return EvalValue(value);
}

MdxValue QueryEvaluator::CellValue() {
    Member* chosen = nullptr;
    for (Member* member : context_)
        if (member && member->Calculated && (!chosen || member->SolveOrder > chosen->SolveOrder))
            chosen = member;
    if (chosen) {
        // Each member costs a few levels of nesting: a loop among members is told as one well
        // before the nesting limit would stop it.
        if (depth_ > kMaxEvaluationNesting / 4)
            throw MdxEvaluationError("The calculated member " + chosen->UniqueName +
                                     " refers to itself without end");
        ++depth_;
        struct Leave {
            int& depth;
            ~Leave() { --depth; }
        } leave{depth_};
        return EvalValue(*chosen->Formula);
    }
    Member* measure = context_.front();
    if (!measure || !measure->Measure) return {};
    std::vector<Member*> coordinate = context_;
    coordinate.front() = nullptr;
    Variant value;
    fetcher_.Lookup(coordinate, compound_, *measure, value);
    switch (value.Type()) {
        case VariantType::Empty:
        case VariantType::Null:
            return {};
        case VariantType::String:
            return Text(value.AsString());
        case VariantType::R4:
        case VariantType::R8:
        case VariantType::Decimal:
            return Number(value.AsDouble());
        default:
            return Number(static_cast<double>(value.AsInt64()), true);
    }
}

std::string QueryEvaluator::CellFormat() const {
    const Member* chosen = nullptr;
    for (const Member* member : context_)
        if (member && member->Calculated && !member->FormatString.empty() &&
            (!chosen || member->SolveOrder > chosen->SolveOrder))
            chosen = member;
    if (chosen) return chosen->FormatString;
    const Member* measure = context_.front();
    return measure ? measure->FormatString : "";
}

MdxValue QueryEvaluator::AggregateSet(const TupleList& set, const Expr* value,
                                      const std::string& how) {
    if (how == "count") {
        if (value && Flag(*value) == "excludeempty") {
            size_t count = 0;
            for (const Tuple& t : set) count += ValueAt(t).IsEmpty() ? 0 : 1;
            return Number(static_cast<double>(count), true);
        }
        return Number(static_cast<double>(set.size()), true);
    }
    // Aggregate(set, [Measures].[Customers]) is the same as Aggregate(set) with that measure
    // current: a distinct count must reach the database whole rather than be summed.
    if (how == "aggregate" && value && value->What == Expr::Kind::Name) {
        Resolved named;
        if (TryResolve(value->Segments, named) && named.TheMember && named.TheMember->Measure) {
            Member* saved = context_.front();
            context_.front() = named.TheMember;
            MdxValue result = AggregateSet(set, nullptr, how);
            context_.front() = saved;
            return result;
        }
    }
    Member* measure = context_.front();
    if (how == "aggregate" && !value && measure && measure->Measure && !set.empty()) {
        // Stored members aggregate in the database, so a distinct count stays distinct.
        bool stored = true;
        for (const Tuple& t : set)
            for (Member* member : t)
                if (!member || member->Calculated || member->Owner->IsMeasures) stored = false;
        if (stored) {
            // Under a compound slicer (or an outer aggregate) every one of its tuples meets
            // every tuple of the set, the set's member standing where both name a hierarchy;
            // summing the aggregate over the slicer's tuples would count a customer twice.
            TupleList cells;
            if (compound_ < 0) {
                cells = set;
            } else {
                for (const Tuple& outer : fetcher_.Compound(compound_))
                    for (const Tuple& inner : set) {
                        Tuple both;
                        for (Member* member : outer)
                            if (std::none_of(inner.begin(), inner.end(), [&](const Member* m) {
                                    return m->Owner == member->Owner;
                                }))
                                both.push_back(member);
                        both.insert(both.end(), inner.begin(), inner.end());
                        cells.push_back(std::move(both));
                    }
            }
            std::vector<Member*> saved = context_;
            const int savedCompound = compound_;
            for (const Tuple& t : cells)
                for (Member* member : t)
                    context_[static_cast<size_t>(member->Owner->Index)] = nullptr;
            compound_ = fetcher_.AddCompound(cells);
            MdxValue result = CellValue();
            compound_ = savedCompound;
            context_ = std::move(saved);
            return result;
        }
    }
    MdxValue total;
    size_t count = 0;
    for (const Tuple& t : set) {
        MdxValue item;
        if (value) {
            item = ValueWith(t, *value);
        } else {
            item = ValueAt(t);
        }
        if (item.IsEmpty()) continue;
        ++count;
        if (total.IsEmpty()) {
            total = Number(AsNumber(item), item.Integer);
            continue;
        }
        const double x = AsNumber(item);
        if (how == "min")
            total.Number = std::min(total.Number, x);
        else if (how == "max")
            total.Number = std::max(total.Number, x);
        else
            total.Number += x;
        total.Integer = total.Integer && item.Integer;
    }
    if (how == "avg" && count > 0) return Number(total.Number / static_cast<double>(count));
    return total;
}

}  // namespace orvik::cube
