#include "olap/MemberProperties.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "olap/MdxEvaluator.h"
#include "olap/NameCase.h"

namespace orvik::cube {
namespace {

std::string Bracketed(std::string_view name) {
    std::string text = "[";
    for (char c : name) {
        text += c;
        if (c == ']') text += ']';
    }
    return text + "]";
}

const Level& LevelOfMember(const Member& member) {
    const auto& levels = member.Owner->Levels;
    return levels[std::min(static_cast<size_t>(member.Depth), levels.size() - 1)];
}

// --- the properties every member has ------------------------------------------------------------

bool ReadsAsNumber(const std::string& text, double& number) {
    if (text.empty()) return false;
    char* end = nullptr;
    number = std::strtod(text.c_str(), &end);
    return end && *end == '\0' && std::isfinite(number);
}

Variant WholeOrReal(double number) {
    if (number == std::floor(number) && std::fabs(number) < 9.2e18)
        return Variant::MakeI8(static_cast<int64_t>(number));
    return Variant::MakeR8(number);
}

Variant KeyOf(const Member& member) {
    const LevelDefinition* level = LevelOfMember(member).Definition;
    double number = 0;
    if (level && level->Numeric() && !member.Calculated && ReadsAsNumber(member.Key, number))
        return WholeOrReal(number);
    return Variant::MakeString(member.Key);
}

struct IntrinsicProperty {
    std::string_view Name;
    VariantType Type;
    Variant (*Value)(const Member&);  // empty where the member has none (a top member's parent)
};

constexpr IntrinsicProperty kIntrinsics[] = {
    {"CAPTION", VariantType::String,
     [](const Member& m) { return Variant::MakeString(m.Caption); }},
    {"DIMENSION_UNIQUE_NAME", VariantType::String,
     [](const Member& m) { return Variant::MakeString(Bracketed(m.Owner->DimensionName)); }},
    {"HIERARCHY_UNIQUE_NAME", VariantType::String,
     [](const Member& m) { return Variant::MakeString(m.Owner->UniqueName); }},
    {"KEY", VariantType::String, &KeyOf},
    {"LEVEL_NUMBER", VariantType::UI4,
     [](const Member& m) { return Variant::MakeUI4(static_cast<uint32_t>(m.Depth)); }},
    {"LEVEL_UNIQUE_NAME", VariantType::String,
     [](const Member& m) { return Variant::MakeString(LevelOfMember(m).UniqueName); }},
    {"MEMBER_CAPTION", VariantType::String,
     [](const Member& m) { return Variant::MakeString(m.Caption); }},
    {"MEMBER_KEY", VariantType::String, &KeyOf},
    {"MEMBER_NAME", VariantType::String,
     [](const Member& m) { return Variant::MakeString(m.Name); }},
    {"MEMBER_UNIQUE_NAME", VariantType::String,
     [](const Member& m) { return Variant::MakeString(m.UniqueName); }},
    {"NAME", VariantType::String, [](const Member& m) { return Variant::MakeString(m.Name); }},
    {"PARENT_LEVEL", VariantType::UI4,
     [](const Member& m) {
         return m.Parent ? Variant::MakeUI4(static_cast<uint32_t>(m.Parent->Depth)) : Variant();
     }},
    {"PARENT_UNIQUE_NAME", VariantType::String,
     [](const Member& m) {
         return m.Parent ? Variant::MakeString(m.Parent->UniqueName) : Variant();
     }},
};

const IntrinsicProperty* FindIntrinsic(std::string_view name) {
    for (const IntrinsicProperty& property : kIntrinsics)
        if (SameName(property.Name, name)) return &property;
    return nullptr;
}

// --- the properties a level declares ------------------------------------------------------------

bool IsNumber(VariantType type) {
    return type != VariantType::Empty && type != VariantType::Null && type != VariantType::Bool &&
           type != VariantType::Date && type != VariantType::String;
}

Variant AsReal(const Variant& value) {
    double number = 0;
    if (IsNumber(value.Type())) return Variant::MakeR8(value.AsDouble());
    if (value.Type() == VariantType::String && ReadsAsNumber(value.AsString(), number))
        return Variant::MakeR8(number);
    return value;
}

Variant AsInteger(const Variant& value) {
    double number = 0;
    if (IsNumber(value.Type())) return WholeOrReal(value.AsDouble());
    if (value.Type() == VariantType::String && ReadsAsNumber(value.AsString(), number))
        return WholeOrReal(number);
    return value;
}

Variant AsTruth(const Variant& value) {
    if (IsNumber(value.Type())) return Variant::MakeBool(value.AsDouble() != 0);
    if (value.Type() != VariantType::String) return value;
    static constexpr std::pair<std::string_view, bool> kWords[] = {
        {"true", true}, {"false", false}, {"1", true}, {"0", false},
        {"yes", true},  {"no", false},    {"t", true}, {"f", false}};
    for (const auto& [word, truth] : kWords)
        if (SameName(value.AsString(), word)) return Variant::MakeBool(truth);
    return value;
}

Variant AsText(const Variant& value) {
    return value.Type() == VariantType::String ? value : Variant::MakeString(KeyText(value));
}

Variant AsRead(const Variant& value) {
    return value;
}

struct PropertyType {
    std::string_view Name;
    VariantType Type;
    Variant (*Convert)(const Variant&);
};

// A type the table does not know keeps the value as the database gave it.
constexpr PropertyType kTypes[] = {
    {"", VariantType::String, &AsText},        {"String", VariantType::String, &AsText},
    {"Numeric", VariantType::R8, &AsReal},     {"Integer", VariantType::I8, &AsInteger},
    {"int", VariantType::I8, &AsInteger},      {"long", VariantType::I8, &AsInteger},
    {"Boolean", VariantType::Bool, &AsTruth},  {"Date", VariantType::Date, &AsRead},
    {"Timestamp", VariantType::Date, &AsRead},
};
constexpr PropertyType kAsRead = {"", VariantType::String, &AsRead};

const PropertyType& TypeOf(const PropertyDefinition& property) {
    for (const PropertyType& type : kTypes)
        if (SameName(type.Name, property.Type)) return type;
    return kAsRead;
}

// The position of `name` among the properties `level` declares; -1 for none.
int DeclaredIndex(const LevelDefinition* level, std::string_view name) {
    if (!level) return -1;
    for (size_t i = 0; i < level->Properties.size(); ++i)
        if (SameName(level->Properties[i].Name, name)) return static_cast<int>(i);
    return -1;
}

// --- DIMENSION PROPERTIES ------------------------------------------------------------------------

bool QualifierNamesHierarchy(const Hierarchy& hierarchy, const std::string& qualifier) {
    return SameName(hierarchy.UniqueName, qualifier) ||
           SameName(Bracketed(hierarchy.DimensionName) + "." + Bracketed(hierarchy.Name),
                    qualifier);
}

}  // namespace

std::string AxisProperties::NoneDeclares(const Asked& asked, CubeModel& cube,
                                         const std::string& property) {
    const std::string where =
        asked.ScopeLevel ? "the level " + asked.ScopeLevel->UniqueName + " declares no"
        : asked.Scope    ? "no level of " + asked.Scope->UniqueName + " declares a"
                         : "no level of cube '" + cube.Definition().Name + "' declares a";
    std::string intrinsics;
    for (const IntrinsicProperty& intrinsic : kIntrinsics)
        intrinsics += (intrinsics.empty() ? "" : ", ") + std::string(intrinsic.Name);
    return where + " property '" + property + "', nor is it one every member has (" + intrinsics +
           ")";
}

std::vector<uint32_t> ReadMemberProperties(const LevelDefinition& level,
                                           const std::vector<Variant>& row,
                                           const std::vector<int>& columns,
                                           PropertyValuePool& pool) {
    std::vector<uint32_t> numbers(level.Properties.size(), 0);
    for (size_t i = 0; i < numbers.size() && i < columns.size(); ++i) {
        if (columns[i] < 0 || static_cast<size_t>(columns[i]) >= row.size()) continue;
        const Variant& read = row[static_cast<size_t>(columns[i])];
        if (read.IsNull() || read.IsEmpty()) continue;
        numbers[i] = pool.Add(TypeOf(level.Properties[i]).Convert(read));
    }
    return numbers;
}

std::optional<Variant> MemberProperty(const Member& member, std::string_view name) {
    if (const IntrinsicProperty* intrinsic = FindIntrinsic(name)) {
        Variant value = intrinsic->Value(member);
        return value.IsEmpty() ? Variant::MakeNull() : value;
    }
    const int index = DeclaredIndex(LevelOfMember(member).Definition, name);
    if (index < 0) return std::nullopt;
    if (static_cast<size_t>(index) >= member.PropertyValues.size()) return Variant::MakeNull();
    return member.Owner->PropertyValues.At(member.PropertyValues[static_cast<size_t>(index)]);
}

AxisProperties::AxisProperties(CubeModel& cube,
                               const std::vector<std::vector<mdx::NameSegment>>& names,
                               const std::string& axis) {
    for (const std::vector<mdx::NameSegment>& name : names) {
        Asked asked;
        const std::string written = mdx::SegmentsToString(name);
        const std::vector<mdx::NameSegment> prefix(name.begin(), name.end() - 1);
        std::vector<const Level*> levels;  // where a declared property is looked for
        if (!prefix.empty()) {
            const std::string qualifier = mdx::SegmentsToString(prefix);
            for (const auto& hierarchy : cube.Hierarchies()) {
                if (QualifierNamesHierarchy(*hierarchy, qualifier)) asked.Scope = hierarchy.get();
                for (const Level& level : hierarchy->Levels)
                    if (SameName(level.UniqueName, qualifier)) {
                        asked.Scope = hierarchy.get();
                        asked.ScopeLevel = &level;
                    }
                if (asked.Scope) break;
            }
            if (!asked.Scope)
                throw MdxEvaluationError("The dimension property " + written + " of " + axis +
                                         " names " + qualifier +
                                         ", which is neither a hierarchy nor a level of cube '" +
                                         cube.Definition().Name + "'");
        }
        for (const auto& hierarchy : cube.Hierarchies())
            for (const Level& level : hierarchy->Levels)
                if ((!asked.Scope || asked.Scope == hierarchy.get()) &&
                    (!asked.ScopeLevel || asked.ScopeLevel == &level))
                    levels.push_back(&level);
        const std::string& property = name.back().Name;
        if (const IntrinsicProperty* intrinsic = FindIntrinsic(property)) {
            asked.Name = intrinsic->Name;
            asked.Intrinsic = true;
        } else {
            for (const Level* level : levels) {
                const int index = DeclaredIndex(level->Definition, property);
                if (index < 0) continue;
                asked.Name = level->Definition->Properties[static_cast<size_t>(index)].Name;
                break;
            }
            if (asked.Name.empty())
                throw MdxEvaluationError("The dimension property " + written + " of " + axis +
                                         " is unknown: " + NoneDeclares(asked, cube, property));
        }
        asked_.push_back(std::move(asked));
    }
}

bool AxisProperties::Applies(const Asked& asked, const Member& member) const {
    if (asked.Scope && asked.Scope != member.Owner) return false;
    return !asked.ScopeLevel || asked.ScopeLevel == &LevelOfMember(member);
}

std::vector<CellSetProperty> AxisProperties::Of(const Member& member) const {
    std::vector<CellSetProperty> properties;
    for (const Asked& asked : asked_) {
        if (!Applies(asked, member)) continue;
        if (asked.Intrinsic) {
            Variant value = FindIntrinsic(asked.Name)->Value(member);
            if (!value.IsEmpty()) properties.push_back({asked.Name, std::move(value)});
        } else if (std::optional<Variant> value = MemberProperty(member, asked.Name)) {
            properties.push_back({asked.Name, std::move(*value)});
        }
    }
    return properties;
}

CellSetHierarchyInfo AxisProperties::InfoFor(const Hierarchy& hierarchy) const {
    CellSetHierarchyInfo info;
    info.UniqueName = hierarchy.UniqueName;
    for (const Asked& asked : asked_) {
        if (asked.Scope && asked.Scope != &hierarchy) continue;
        if (asked.Intrinsic) {
            info.Properties.push_back({asked.Name,
                                       hierarchy.UniqueName + "." + Bracketed(asked.Name),
                                       FindIntrinsic(asked.Name)->Type, true});
            continue;
        }
        for (const Level& level : hierarchy.Levels) {
            if (asked.ScopeLevel && asked.ScopeLevel != &level) continue;
            const int index = DeclaredIndex(level.Definition, asked.Name);
            if (index < 0) continue;
            const PropertyDefinition& declared =
                level.Definition->Properties[static_cast<size_t>(index)];
            info.Properties.push_back({declared.Name,
                                       level.UniqueName + "." + Bracketed(declared.Name),
                                       TypeOf(declared).Type});
            break;
        }
    }
    return info;
}

}  // namespace orvik::cube
