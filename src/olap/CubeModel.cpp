#include "olap/CubeModel.h"
#include "olap/NameCase.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "core/StopRequest.h"
#include "data/AdoDatabase.h"
#include "data/AdoException.h"
#include "data/AdoRecordset.h"
#include "data/Variant.h"
#include "olap/MemberProperties.h"
#include "olap/ParentChild.h"

namespace orvik::cube {
namespace {

// The members read so far by their parent and key: one table for the whole hierarchy, sized
// once, rather than one per parent grown as rows arrive (a level of millions).
struct ChildKey {
    const Member* Parent;
    std::string_view Key;  // the child's own Key, which outlives the table
    bool operator==(const ChildKey&) const = default;
};
struct ChildKeyHash {
    size_t operator()(const ChildKey& key) const {
        return std::hash<std::string_view>()(key.Key) ^
               (std::hash<const Member*>()(key.Parent) * 0x9E3779B97F4A7C15ull);
    }
};

}  // namespace

// One reading of a hierarchy's members, over one statement or a few: the members met so far by
// parent and key (those read before included, so that none is made twice), and the members at
// `Depth` the rows held, once each.
struct MemberRead {
    MemberRead(Hierarchy& hierarchy, int depth) : Depth(depth) {
        for (Member& member : hierarchy.Storage)
            if (!member.IsAll && !member.Calculated)
                Children.emplace(ChildKey{member.Parent, member.Key}, &member);
    }
    std::unordered_map<ChildKey, Member*, ChildKeyHash> Children;
    int Depth = -1;
    std::vector<Member*> AtDepth;
    std::unordered_set<const Member*> Seen;
};

std::string KeyText(const Variant& value) {
    switch (value.Type()) {
        case VariantType::Empty:
        case VariantType::Null:
            return "#null";
        case VariantType::String:
            return value.AsString();
        case VariantType::R4:
        case VariantType::R8:
        case VariantType::Decimal:
        case VariantType::Currency: {
            const double number = value.AsDouble();
            char buffer[64];
            if (std::isfinite(number) && number == std::floor(number) && std::fabs(number) < 1e15)
                std::snprintf(buffer, sizeof buffer, "%.0f", number);
            else
                std::snprintf(buffer, sizeof buffer, "%.15g", number);
            return buffer;
        }
        case VariantType::Bool:
            return value.AsInt64() ? "true" : "false";
        default:
            break;
    }
    if (value.Type() == VariantType::Date) return VariantToText(value);
    return std::to_string(value.AsInt64());
}

void AppendKeyPathPart(std::string& path, const Variant& value) {
    switch (value.Type()) {
        case VariantType::I1:
        case VariantType::I2:
        case VariantType::I4:
        case VariantType::I8:
        case VariantType::UI1:
        case VariantType::UI2:
        case VariantType::UI4: {
            char buffer[24];
            const auto end = std::to_chars(buffer, buffer + sizeof buffer, value.AsInt64()).ptr;
            path.append(buffer, end);
            break;
        }
        case VariantType::String:
            path += value.AsString();
            break;
        default:
            path += KeyText(value);
    }
    path += '\x1f';
}

namespace {

std::string Bracketed(const std::string& name) {
    if (name.find(']') == std::string::npos) {
        std::string text;
        text.reserve(name.size() + 2);
        text += '[';
        text += name;
        text += ']';
        return text;
    }
    std::string text = "[";
    for (char c : name) {
        text += c;
        if (c == ']') text += ']';
    }
    return text + "]";
}

// The dimension table's primary key, as ByPrimaryKey holds it.
ColumnExpression PrimaryKeyColumn(const HierarchyDefinition& definition) {
    return {definition.PrimaryKeyTable.empty() ? definition.Table->FirstAlias()
                                               : definition.PrimaryKeyTable,
            definition.PrimaryKey, ""};
}

bool ParseNumber(const std::string& text, double& number) {
    if (text.empty()) return false;
    char* end = nullptr;
    number = std::strtod(text.c_str(), &end);
    return end && *end == '\0';
}

// Sibling order: by the ordinal column when there is one, else by key; numbers as numbers. Each
// member's text is read as a number once, not at every comparison (a level of millions).
void SortSiblings(std::vector<Member*>& members, bool byOrdinal) {
    struct Sorted {
        Member* Of;
        const std::string* Text;
        double Number;
        bool Numeric;
    };
    std::vector<Sorted> sorted;
    sorted.reserve(members.size());
    for (Member* member : members) {
        const std::string& text = byOrdinal ? member->OrdinalText : member->Key;
        double number = 0;
        const bool numeric = ParseNumber(text, number);
        sorted.push_back({member, &text, number, numeric});
    }
    std::sort(sorted.begin(), sorted.end(), [byOrdinal](const Sorted& a, const Sorted& b) {
        if (a.Numeric && b.Numeric) {
            if (a.Number != b.Number) return a.Number < b.Number;
        } else if (*a.Text != *b.Text) {
            return *a.Text < *b.Text;
        }
        return byOrdinal && a.Of->Key < b.Of->Key;
    });
    for (size_t i = 0; i < sorted.size(); ++i) members[i] = sorted[i].Of;
}

}  // namespace

std::string ChildUniqueName(const Hierarchy& hierarchy, const Member* parent,
                            const std::string& name) {
    const std::string& base = parent && !parent->IsAll ? parent->UniqueName : hierarchy.UniqueName;
    std::string unique;
    unique.reserve(base.size() + name.size() + 3);
    unique += base;
    unique += '.';
    unique += Bracketed(name);
    return unique;
}

CubeModel::CubeModel(const CubeDefinition& definition, CADODatabase& database,
                     const SqlDialect* dialect)
    : definition_(definition),
      database_(database),
      dialect_(dialect ? *dialect : DialectOf(database)) {
    auto measures = std::make_unique<Hierarchy>();
    measures->Name = "Measures";
    measures->UniqueName = "[Measures]";
    measures->DimensionName = "Measures";
    measures->IsMeasures = true;
    measures->Loaded = true;
    Level level;
    level.Owner = measures.get();
    level.Name = "MeasuresLevel";
    level.UniqueName = "[Measures].[MeasuresLevel]";
    measures->Levels.push_back(level);
    measures->ByLevel.resize(1);
    for (size_t i = 0; i < definition.Measures.size(); ++i) {
        const MeasureDefinition& measure = definition.Measures[i];
        Member& member = measures->Storage.emplace_back();
        member.Owner = measures.get();
        member.Key = member.Name = measure.Name;
        member.Caption = measure.Caption;
        member.UniqueName = "[Measures]." + Bracketed(measure.Name);
        member.Measure = &measure;
        member.MeasureIndex = static_cast<int>(i);
        member.FormatString = measure.FormatString;
        member.Visible = measure.Visible;
        member.Ordinal = member.LevelIndex = i;
        measures->Roots.push_back(&member);
        measures->ByLevel[0].push_back(&member);
        if (!measures->Default &&
            (definition.DefaultMeasure.empty() || definition.DefaultMeasure == measure.Name))
            measures->Default = &member;
    }
    if (!measures->Default && !measures->Roots.empty()) measures->Default = measures->Roots.front();
    hierarchies_.push_back(std::move(measures));
    for (const DimensionDefinition& dimension : definition.Dimensions)
        for (size_t h = 0; h < dimension.Hierarchies.size(); ++h)
            AddHierarchy(&dimension, &dimension.Hierarchies[h], h == 0);
}

void CubeModel::AddHierarchy(const DimensionDefinition* dimension,
                             const HierarchyDefinition* definition, bool first) {
    auto hierarchy = std::make_unique<Hierarchy>();
    hierarchy->Dimension = dimension;
    hierarchy->Definition = definition;
    hierarchy->DimensionName = dimension->Name;
    hierarchy->IsTime = dimension->IsTime;
    hierarchy->Name = definition->Name.empty() ? dimension->Name : definition->Name;
    hierarchy->UniqueName = first || hierarchy->Name == dimension->Name
                                ? Bracketed(dimension->Name)
                                : Bracketed(dimension->Name + "." + hierarchy->Name);
    hierarchy->Index = static_cast<int>(hierarchies_.size());
    if (definition->HasAll) {
        Level all;
        all.Owner = hierarchy.get();
        all.Name = "(All)";
        all.UniqueName = hierarchy->UniqueName + ".[(All)]";
        hierarchy->Levels.push_back(all);
    }
    for (const LevelDefinition& levelDefinition : definition->Levels) {
        Level level;
        level.Owner = hierarchy.get();
        level.Depth = static_cast<int>(hierarchy->Levels.size());
        level.Name = levelDefinition.Name;
        level.UniqueName = hierarchy->UniqueName + "." + Bracketed(levelDefinition.Name);
        level.Definition = &levelDefinition;
        hierarchy->Levels.push_back(level);
    }
    // The All member exists before the members are read: most queries never need more of a
    // hierarchy than its default member.
    if (definition->HasAll) {
        Member* all = &hierarchy->Storage.emplace_back();
        all->Owner = hierarchy.get();
        all->IsAll = true;
        all->Name = all->Caption = definition->AllMemberName;
        all->UniqueName = hierarchy->UniqueName + "." + Bracketed(definition->AllMemberName);
        hierarchy->Roots.push_back(all);
        hierarchy->Default = all;
    }
    hierarchies_.push_back(std::move(hierarchy));
}

std::string CubeModel::Quote(const std::string& name) const {
    return QuoteIdentifier(dialect_, name, const_cast<CADODatabase&>(database_).Provider());
}

std::string CubeModel::ColumnSql(const Hierarchy& hierarchy, const ColumnExpression& column) const {
    if (!column.Sql.empty()) return "(" + column.Sql + ")";
    std::string table = column.Table;
    if (table.empty()) {
        const HierarchyDefinition* definition = hierarchy.Definition;
        table = definition && definition->Table ? definition->Table->FirstAlias()
                                                : definition_.Fact->FirstAlias();
    }
    return Quote(table) + "." + Quote(column.Column);
}

std::string CubeModel::RelationSql(const Relation& relation) const {
    if (!relation.IsJoin()) {
        if (relation.Alias == relation.Table) return Quote(relation.Table);
        return Quote(relation.Table) + " " + Quote(relation.Alias);
    }
    return RelationSql(*relation.Left) + " JOIN " + RelationSql(*relation.Right) + " ON " +
           Quote(relation.LeftAlias) + "." + Quote(relation.LeftKey) + " = " +
           Quote(relation.RightAlias) + "." + Quote(relation.RightKey);
}

void CubeModel::Load(Hierarchy& hierarchy) {
    if (hierarchy.Loaded) return;
    const HierarchyDefinition& definition = *hierarchy.Definition;
    MemberRead read(hierarchy, -1);
    ReadMembers(hierarchy, "", read);
    hierarchy.PropertyValues.DoneAdding();
    Renumber(hierarchy);
    hierarchy.Loaded = true;

    // The default member: the one the schema names, else the All member, else the first.
    Member* all = hierarchy.All();
    hierarchy.Default = all ? all : (hierarchy.Roots.empty() ? nullptr : hierarchy.Roots.front());
    std::string wanted = definition.DefaultMember;
    if (!wanted.empty()) {
        for (Member& member : hierarchy.Storage) {
            if (member.UniqueName == wanted || Bracketed(member.Name) == wanted ||
                member.Name == wanted) {
                hierarchy.Default = &member;
                break;
            }
        }
    }
}

bool CubeModel::ReadsInPart(const Level& level) {
    Hierarchy& hierarchy = *level.Owner;
    const HierarchyDefinition* definition = hierarchy.Definition;
    if (hierarchy.Loaded || hierarchy.IsMeasures || !largeLevelRows_ || !definition ||
        !definition->Table || !level.Definition || level.Definition->Key.Empty())
        return false;
    for (const LevelDefinition& each : definition->Levels)
        if (each.ParentChild()) return false;
    if (hierarchy.TableRows == SIZE_MAX) {
        CADORecordset rows(&database_);
        rows.Open("SELECT COUNT(*) FROM " + RelationSql(*definition->Table));
        std::vector<Variant> count(1);
        if (!rows.IsEOF()) rows.GetRowValues(count);
        hierarchy.TableRows = static_cast<size_t>(std::max<int64_t>(0, count[0].AsInt64()));
    }
    return hierarchy.TableRows >= largeLevelRows_;
}

void CubeModel::ReadSome(Hierarchy& hierarchy, const std::string& columnSql,
                         const std::vector<Variant>& keys, MemberRead& read) {
    // A few thousand keys a statement: every database takes that, and each reads its rows by
    // index.
    constexpr size_t kKeysPerStatement = 4000;
    for (size_t at = 0; at < keys.size(); at += kKeysPerStatement) {
        ThrowIfStopped("Reading the members of " + hierarchy.UniqueName);
        std::string list;
        for (size_t k = at; k < std::min(keys.size(), at + kKeysPerStatement); ++k) {
            if (keys[k].IsNull() || keys[k].IsEmpty()) continue;
            if (!list.empty()) list += ", ";
            list += Literal(keys[k]);
        }
        if (!list.empty()) ReadMembers(hierarchy, columnSql + " IN (" + list + ")", read);
    }
    Renumber(hierarchy);
}

std::vector<Member*> CubeModel::LoadByPrimaryKeys(Hierarchy& hierarchy,
                                                  const std::vector<Variant>& keys) {
    MemberRead read(hierarchy, -1);
    ReadSome(hierarchy, ColumnSql(hierarchy, PrimaryKeyColumn(*hierarchy.Definition)), keys, read);
    std::vector<Member*> members(keys.size(), nullptr);
    for (size_t k = 0; k < keys.size(); ++k)
        if (auto it = hierarchy.ByPrimaryKey.find(KeyText(keys[k]));
            it != hierarchy.ByPrimaryKey.end())
            members[k] = it->second;
    // Reading the hierarchy whole (or more of it) notes the keys again; until then they would
    // cost as much memory as a fifth of the members.
    if (!hierarchy.Loaded) hierarchy.ByPrimaryKey = {};
    return members;
}

std::vector<Member*> CubeModel::LoadByLevelKeys(const Level& level,
                                                const std::vector<Variant>& keys) {
    Hierarchy& hierarchy = *level.Owner;
    MemberRead read(hierarchy, level.Depth);
    ReadSome(hierarchy, ColumnSql(hierarchy, level.Definition->Key), keys, read);
    return std::move(read.AtDepth);
}

void CubeModel::ReadMembers(Hierarchy& hierarchy, const std::string& where, MemberRead& read) {
    const HierarchyDefinition& definition = *hierarchy.Definition;
    if (hierarchy.ByLevel.size() != hierarchy.Levels.size())
        hierarchy.ByLevel.assign(hierarchy.Levels.size(), {});
    Member* all = hierarchy.All();
    // One query for every level: each distinct row is a path from the top level down.
    struct Columns {
        int Key = -1, Name = -1, Ordinal = -1, Caption = -1;
        std::vector<int> Properties;
    };
    std::vector<Columns> columns;
    std::string select;
    int count = 0;
    auto add = [&](const ColumnExpression& column) {
        if (column.Empty()) return -1;
        select += (count ? ", " : "") + ColumnSql(hierarchy, column);
        return count++;
    };
    for (const LevelDefinition& level : definition.Levels) {
        Columns c;
        c.Key = add(level.Key);
        c.Name = add(level.NameColumn);
        c.Ordinal = add(level.Ordinal);
        c.Caption = add(level.CaptionColumn);
        for (const PropertyDefinition& property : level.Properties)
            c.Properties.push_back(add(property.Column));
        columns.push_back(c);
    }
    const int primaryKey =
        definition.Table && !definition.PrimaryKey.empty() ? add(PrimaryKeyColumn(definition)) : -1;
    const LevelDefinition* parentChild =
        definition.Levels.front().ParentChild() ? &definition.Levels.front() : nullptr;
    const int parentColumn = parentChild ? add(parentChild->ParentColumn) : -1;
    std::vector<ParentLink> links;
    const std::string from =
        definition.Table ? RelationSql(*definition.Table) : RelationSql(*definition_.Fact);
    CADORecordset rows(&database_);
    try {
        rows.Open("SELECT DISTINCT " + select + " FROM " + from +
                  (where.empty() ? "" : " WHERE " + where));
    } catch (const CADOException& error) {
        if (!parentChild) throw;
        throw CADOException(error.GetError(),
                            "The parent-child level '" + parentChild->Name + "' of " +
                                hierarchy.UniqueName +
                                " cannot be read: " + error.GetErrorMessage(),
                            error.GetSource());
    }

    const int firstDepth = definition.HasAll ? 1 : 0;
    auto& children = read.Children;
    if (where.empty()) {
        // Sized once for a whole level of millions; a part read in batches grows as it goes
        // (sizing each batch again would rehash everything read before it).
        const auto rowCount = static_cast<size_t>(std::max(0L, rows.GetRecordCount()));
        children.reserve(children.size() + rowCount * columns.size());
        if (primaryKey >= 0)
            hierarchy.ByPrimaryKey.reserve(hierarchy.ByPrimaryKey.size() + rowCount);
    }
    std::vector<Variant> values(static_cast<size_t>(count));
    for (; !rows.IsEOF(); rows.MoveNext()) {
        rows.GetRowValues(values);
        Member* parent = all;
        for (size_t l = 0; l < columns.size(); ++l) {
            const Columns& c = columns[l];
            const Variant& keyValue = values[static_cast<size_t>(c.Key)];
            std::string key = KeyText(keyValue);
            if (auto found = children.find(ChildKey{parent, key}); found != children.end()) {
                parent = found->second;
            } else {
                Member& member = hierarchy.Storage.emplace_back();
                member.Owner = &hierarchy;
                member.Depth = firstDepth + static_cast<int>(l);
                member.Parent = parent;
                member.Key = std::move(key);
                member.KeySql = Literal(keyValue);
                member.Name =
                    c.Name >= 0 ? KeyText(values[static_cast<size_t>(c.Name)]) : member.Key;
                member.Caption =
                    c.Caption >= 0 ? KeyText(values[static_cast<size_t>(c.Caption)]) : member.Name;
                if (c.Ordinal >= 0)
                    member.OrdinalText = KeyText(values[static_cast<size_t>(c.Ordinal)]);
                member.PropertyValues = ReadMemberProperties(
                    definition.Levels[l], values, c.Properties, hierarchy.PropertyValues);
                member.UniqueName = ChildUniqueName(hierarchy, parent, member.Name);
                children.emplace(ChildKey{parent, member.Key}, &member);
                if (parentColumn >= 0) {
                    const Variant& parentValue = values[static_cast<size_t>(parentColumn)];
                    links.push_back({&member, parentValue.IsNull() || parentValue.IsEmpty()
                                                  ? std::nullopt
                                                  : std::optional(KeyText(parentValue))});
                }
                if (parent)
                    parent->Children.push_back(&member);
                else
                    hierarchy.Roots.push_back(&member);
                parent = &member;
            }
            if (parent->Depth == read.Depth && read.Seen.insert(parent).second)
                read.AtDepth.push_back(parent);
        }
        if (primaryKey >= 0 && parent)
            hierarchy.ByPrimaryKey.emplace(KeyText(values[static_cast<size_t>(primaryKey)]),
                                           parent);
    }
    if (parentChild) LinkParentChild(hierarchy, *parentChild, links);
}

void CubeModel::Renumber(Hierarchy& hierarchy) {
    for (auto& level : hierarchy.ByLevel) level.clear();
    size_t ordinal = 0;
    std::function<void(Member*)> walk = [&](Member* member) {
        member->Ordinal = ordinal++;
        auto& level = hierarchy.ByLevel[LevelIndexOf(*member)];
        member->LevelIndex = level.size();
        level.push_back(member);
        if (!member->Children.empty()) {
            const LevelDefinition* childLevel =
                hierarchy.Levels[LevelIndexOf(*member->Children.front())].Definition;
            SortSiblings(member->Children, childLevel && !childLevel->Ordinal.Empty());
        }
        for (Member* child : member->Children) walk(child);
    };
    if (Member* all = hierarchy.All()) {
        walk(all);
    } else {
        SortSiblings(hierarchy.Roots, !hierarchy.Definition->Levels.front().Ordinal.Empty());
        for (Member* root : hierarchy.Roots) walk(root);
    }
}

Member* CubeModel::DefaultMember(Hierarchy& hierarchy) {
    if (hierarchy.IsMeasures || (hierarchy.HasAll() && hierarchy.Definition->DefaultMember.empty()))
        return hierarchy.Default;
    Load(hierarchy);
    return hierarchy.Default;
}

void InitCalculated(Member& member, Hierarchy& hierarchy, Member* parent, const std::string& name,
                    std::shared_ptr<const mdx::Expr> formula, size_t sequence) {
    member.Owner = &hierarchy;
    member.Calculated = true;
    member.Parent = parent;
    member.Depth = parent ? parent->Depth + 1 : (hierarchy.HasAll() ? 1 : 0);
    member.Key = member.Name = member.Caption = name;
    member.UniqueName = ChildUniqueName(hierarchy, parent, name);
    member.Formula = std::move(formula);
    member.Ordinal = static_cast<size_t>(-1) / 2 + sequence;
}

Member* CubeModel::AddCalculated(Hierarchy& hierarchy, Member* parent, const std::string& name,
                                 std::shared_ptr<const mdx::Expr> formula) {
    Member& member = hierarchy.Storage.emplace_back();
    InitCalculated(member, hierarchy, parent, name, std::move(formula),
                   hierarchy.CalculatedMembers.size());
    hierarchy.CalculatedMembers.push_back(&member);
    return &member;
}

const Kpi* CubeModel::FindKpi(const std::string& name) const {
    for (const Kpi& kpi : kpis_)
        if (SameName(kpi.Definition->Name, name)) return &kpi;
    return nullptr;
}

}  // namespace orvik::cube
