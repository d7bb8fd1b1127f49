#include "olap/MdxFunctionTable.h"

#include <algorithm>
#include <stdexcept>

#include "olap/MdxEvaluator.h"
#include "olap/NameCase.h"

namespace orvik::cube {
namespace {

std::string ArgumentCount(size_t count) {
    if (count == 0) return "no arguments";
    return std::to_string(count) + (count == 1 ? " argument" : " arguments");
}

// The counts a function takes, as a reader would say them.
std::string ExpectedCount(size_t least, size_t most) {
    if (least == most) return ArgumentCount(least);
    if (most == kAnyArgumentCount) return "at least " + ArgumentCount(least);
    if (least == 0) return "at most " + ArgumentCount(most);
    return std::to_string(least) + " to " + ArgumentCount(most);
}

}  // namespace

bool MdxFunction::TakesFormOf(const mdx::Expr& call) const {
    switch (Form) {
        case MdxCallForm::Function:
            return !call.IsMethod;
        case MdxCallForm::Method:
            return call.IsMethod;
        case MdxCallForm::Either:
            break;
    }
    return true;
}

std::vector<MdxFunction> MdxFunctionTable::Collect() {
    std::vector<MdxFunction> all;
    for (std::span<const MdxFunction> family :
         {QueryEvaluator::SetFunctionEntries(), QueryEvaluator::MemberFunctionEntries(),
          QueryEvaluator::TimeFunctionEntries(), QueryEvaluator::NumericFunctionEntries(),
          QueryEvaluator::StringFunctionEntries(), QueryEvaluator::KpiFunctionEntries()})
        all.insert(all.end(), family.begin(), family.end());
    std::sort(all.begin(), all.end(),
              [](const MdxFunction& a, const MdxFunction& b) { return NameLess(a.Name, b.Name); });
    // One name, one entry: a second would never be found.
    for (size_t i = 1; i < all.size(); ++i)
        if (SameName(all[i - 1].Name, all[i].Name))
            throw std::logic_error("The MDX function " + std::string(all[i].Name) +
                                   " is listed twice");
    return all;
}

std::span<const MdxFunction> MdxFunctionTable::All() {
    static const std::vector<MdxFunction> table = Collect();
    return table;
}

const MdxFunction* MdxFunctionTable::Find(std::string_view name) {
    const std::span<const MdxFunction> table = All();
    auto found = std::lower_bound(
        table.begin(), table.end(), name,
        [](const MdxFunction& entry, std::string_view key) { return NameLess(entry.Name, key); });
    return found != table.end() && SameName(found->Name, name) ? &*found : nullptr;
}

const MdxFunction* MdxFunctionTable::Find(const mdx::Expr& call) {
    const MdxFunction* function = Find(call.Text);
    return function && function->TakesFormOf(call) ? function : nullptr;
}

std::optional<std::string> MdxFunctionTable::ArityProblem(const MdxFunction& function,
                                                          const mdx::Expr& call) {
    const size_t given = call.Args.size();
    if (given >= function.MinArguments && given <= function.MaxArguments) return std::nullopt;
    // The reader of [Time].[2024].Lead() counts what stands in the parentheses, not the object.
    const size_t object = call.IsMethod ? 1 : 0;
    auto written = [&](size_t count) {
        return count == kAnyArgumentCount ? count : count - std::min(count, object);
    };
    return call.Text + (given < function.MinArguments ? " needs " : " takes ") +
           ExpectedCount(written(function.MinArguments), written(function.MaxArguments)) +
           (call.IsMethod ? " in parentheses" : "") + ", not " + std::to_string(written(given));
}

const mdx::Expr* GivenArgument(const mdx::Expr& call, size_t index) {
    return index < call.Args.size() && call.Args[index]->What != mdx::Expr::Kind::Empty
               ? call.Args[index].get()
               : nullptr;
}

}  // namespace orvik::cube
