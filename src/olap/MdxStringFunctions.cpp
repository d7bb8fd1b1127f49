// The evaluator's names as values: the Name, UniqueName and Caption of a member, a level or a
// hierarchy. A level or a hierarchy has no caption of its own: its name stands for one.
#include "olap/MdxEvaluator.h"
#include "olap/MdxValueRules.h"

namespace orvik::cube {

using mdx::Expr;
using namespace mdxvalue;

namespace {

enum class NameField { Name, UniqueName, Caption };

template <class Object>
MdxValue NameOf(const Object& object, NameField field) {
    return Text(field == NameField::UniqueName ? object.UniqueName : object.Name);
}

}  // namespace

struct QueryEvaluator::StringFunctions {
    static MdxValue Named(QueryEvaluator& e, const Expr& call, NameField field) {
        const Expr& target = *call.Args[0];
        if (target.What == Expr::Kind::Name) {
            const Resolved resolved = e.Resolve(target);
            if (resolved.TheLevel) return NameOf(*resolved.TheLevel, field);
            if (resolved.TheHierarchy && !resolved.TheMember)
                return NameOf(*resolved.TheHierarchy, field);
        }
        const MdxFunction* function =
            target.What == Expr::Kind::Call ? MdxFunctionTable::Find(target) : nullptr;
        if (function && function->Kind() == MdxFunctionKind::Level) {
            const Level* level = e.EvalLevel(target);
            if (!level) return {};
            return NameOf(*level, field);
        }
        const Member* member = e.EvalMember(target);
        if (!member) return {};
        if (field == NameField::Caption) return Text(member->Caption);
        return NameOf(*member, field);
    }
    static MdxValue Name(QueryEvaluator& e, const Expr& call) {
        return Named(e, call, NameField::Name);
    }
    static MdxValue UniqueName(QueryEvaluator& e, const Expr& call) {
        return Named(e, call, NameField::UniqueName);
    }
    static MdxValue Caption(QueryEvaluator& e, const Expr& call) {
        return Named(e, call, NameField::Caption);
    }
};

std::span<const MdxFunction> QueryEvaluator::StringFunctionEntries() {
    using F = StringFunctions;
    constexpr MdxCallForm kMethod = MdxCallForm::Method;
    static const MdxFunction kEntries[] = {
        {"Caption", kMethod, 1, 1, &F::Caption},
        {"Name", kMethod, 1, 1, &F::Name},
        {"UniqueName", kMethod, 1, 1, &F::UniqueName},
    };
    return kEntries;
}

}  // namespace orvik::cube
