// The evaluator's names as values: the Name, UniqueName and Caption of a member, a level or a
// hierarchy. A level or a hierarchy has no caption of its own: its name stands for one. And a
// member's properties, by name.
#include "olap/MdxEvaluator.h"
#include "olap/MdxValueRules.h"
#include "olap/MemberProperties.h"

namespace orvik::cube {

using mdx::Expr;
using namespace mdxvalue;

namespace {

enum class NameField { Name, UniqueName, Caption };

// A property's value as MDX reads it: numbers as numbers, truth values as truth values.
MdxValue ValueOf(const Variant& value) {
    switch (value.Type()) {
        case VariantType::Empty:
        case VariantType::Null:
            return {};
        case VariantType::Bool:
            return Truth(value.AsInt64() != 0);
        case VariantType::String:
            return Text(value.AsString());
        case VariantType::Date:
            return Text(VariantToText(value));
        case VariantType::R4:
        case VariantType::R8:
        case VariantType::Decimal:
        case VariantType::Currency:
            return Number(value.AsDouble());
        default:
            return Number(static_cast<double>(value.AsInt64()), true);
    }
}

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
    // <member>.Properties("name"[, TYPED]): typed always, so TYPED changes nothing.
    static MdxValue Properties(QueryEvaluator& e, const Expr& call) {
        const Member* member = e.EvalMember(*call.Args[0]);
        const MdxValue name = e.EvalValue(*call.Args[1]);
        if (name.What != MdxValue::Type::String)
            e.Fail(*call.Args[1], "Properties needs a property name as a string");
        if (call.Args.size() > 2 && Flag(*call.Args[2]) != "typed")
            e.Fail(*call.Args[2], "Properties takes only TYPED after the property name");
        if (!member) return {};
        const std::optional<Variant> value = MemberProperty(*member, name.Text);
        if (!value)
            e.Fail(call,
                   "The member " + member->UniqueName + " has no property '" + name.Text + "'");
        return ValueOf(*value);
    }
};

std::span<const MdxFunction> QueryEvaluator::StringFunctionEntries() {
    using F = StringFunctions;
    constexpr MdxCallForm kMethod = MdxCallForm::Method;
    static const MdxFunction kEntries[] = {
        {"Caption", kMethod, 1, 1, &F::Caption},
        {"Name", kMethod, 1, 1, &F::Name},
        {"Properties", kMethod, 2, 3, &F::Properties},
        {"UniqueName", kMethod, 1, 1, &F::UniqueName},
    };
    return kEntries;
}

}  // namespace orvik::cube
