// Reads cube schema XML with libxml2: no network, no external entities, no entity expansion, so
// a hostile schema file can neither reach out nor blow up. Elements the engine has no use for
// (annotations, roles) are skipped quietly; anything else unknown becomes a warning with its line,
// and a schema the engine cannot use is an error naming where.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "olap/CubeSchema.h"
#include "olap/KpiGraphics.h"

namespace orvik::cube {
namespace {

std::string Attr(xmlNode* node, const char* name, const std::string& fallback = "") {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (!value) return fallback;
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

bool Is(xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE &&
           std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return "";
    const size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

std::string Content(xmlNode* node) {
    xmlChar* value = xmlNodeGetContent(node);
    if (!value) return "";
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return Trim(text);
}

// The parts of a bracketed MDX name: "[Time].[Year]" -> Time, Year ("]]" stands for "]").
// Empty when the text is not such a name.
std::vector<std::string> NameParts(const std::string& text) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (at < text.size()) {
        if (!parts.empty() && text[at++] != '.') return {};
        if (at >= text.size() || text[at] != '[') return {};
        std::string part;
        for (++at;; ++at) {
            if (at >= text.size()) return {};
            if (text[at] != ']') {
                part += text[at];
            } else if (at + 1 < text.size() && text[at + 1] == ']') {
                part += ']';
                ++at;
            } else {
                break;
            }
        }
        ++at;
        parts.push_back(std::move(part));
    }
    return parts;
}

class Reader {
  public:
    Reader(std::string name, std::string dialect)
        : name_(std::move(name)), dialect_(std::move(dialect)) {}

    SchemaDefinition Read(xmlNode* root) {
        if (!root || !Is(root, "Schema"))
            Fail(root, "the root element must be <Schema>, not <" +
                           std::string(root ? reinterpret_cast<const char*>(root->name) : "") +
                           ">");
        SchemaDefinition schema;
        schema.Name = Attr(root, "name");
        // Shared dimensions first: cubes may use one declared after them.
        for (xmlNode* child = root->children; child; child = child->next)
            if (Is(child, "Dimension")) {
                DimensionDefinition dimension = Dimension(child);
                shared_[dimension.Name] = dimension;
            }
        for (xmlNode* child = root->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE || Is(child, "Dimension")) continue;
            if (Is(child, "Cube")) {
                if (BoolAttr(child, "enabled", true)) schema.Cubes.push_back(Cube(child));
            } else if (Is(child, "VirtualCube")) {
                if (BoolAttr(child, "enabled", true))
                    schema.Cubes.push_back(VirtualCube(child, schema.Cubes));
            } else if (!Ignored(child)) {
                Warn(child);
            }
        }
        if (schema.Cubes.empty()) Fail(root, "the schema defines no cube");
        schema.Warnings = std::move(warnings_);
        return schema;
    }

  private:
    [[noreturn]] void Fail(xmlNode* node, const std::string& what) const {
        throw CubeSchemaError("Cube schema " + name_ +
                              (node ? " line " + std::to_string(xmlGetLineNo(node)) : "") + ": " +
                              what);
    }
    // A true/false attribute; `fallback` when it is not there. Anything else than the words of
    // XML Schema's boolean is an error: "yes" read as false would quietly change the cube.
    bool BoolAttr(xmlNode* node, const char* name, bool fallback) const {
        const std::string value = Attr(node, name);
        if (value.empty()) return fallback;
        std::string lowered = value;
        std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (lowered == "true" || lowered == "1") return true;
        if (lowered == "false" || lowered == "0") return false;
        Fail(node,
             "the attribute " + std::string(name) + "=\"" + value + "\" must be true or false");
    }
    // A whole number that a property `name` of `node` gives as `value`.
    int Integer(xmlNode* node, const std::string& name, const std::string& value) const {
        int number = 0;
        const std::string text = Trim(value);
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (text.empty() || error != std::errc() || end != text.data() + text.size())
            Fail(node, "the property " + name + " must be a whole number, not '" + value + "'");
        return number;
    }
    void Warn(xmlNode* node) {
        warnings_.push_back("Cube schema " + name_ + " line " + std::to_string(xmlGetLineNo(node)) +
                            ": unknown element <" + reinterpret_cast<const char*>(node->name) +
                            "> is ignored");
    }
    static bool Ignored(xmlNode* node) {
        static const char* const names[] = {
            "Annotations",   "Annotation",      "AggExclude",  "AggName",
            "AggPattern",    "AggFactCount",    "AggMeasure",  "AggLevel",
            "AggForeignKey", "AggIgnoreColumn", "Role",        "Parameter",
            "Description",   "CubeGrant",       "SchemaGrant", "UserDefinedFunction"};
        for (const char* name : names)
            if (Is(node, name)) return true;
        return false;
    }

    // The text of <SQL dialect="..."> children: ours, else "generic", else one that reads
    // like standard SQL, else the first.
    std::string Sql(xmlNode* node) {
        std::map<std::string, std::string> byDialect;
        std::string first;
        for (xmlNode* child = node->children; child; child = child->next) {
            if (!Is(child, "SQL")) continue;
            const std::string text = Content(child);
            byDialect.emplace(Attr(child, "dialect", "generic"), text);
            if (first.empty()) first = text;
        }
        for (const char* choice : {dialect_.c_str(), "generic", "postgres", "hsqldb", "oracle"}) {
            auto found = byDialect.find(choice);
            if (found != byDialect.end()) return found->second;
        }
        if (first.empty())
            Fail(node,
                 "<" + std::string(reinterpret_cast<const char*>(node->name)) + "> holds no <SQL>");
        return first;
    }

    std::shared_ptr<Relation> RelationOf(xmlNode* node) {
        auto relation = std::make_shared<Relation>();
        if (Is(node, "Table")) {
            relation->Table = Attr(node, "name");
            if (relation->Table.empty()) Fail(node, "<Table> needs a name");
            relation->Alias = Attr(node, "alias", relation->Table);
            for (xmlNode* child = node->children; child; child = child->next)
                if (child->type == XML_ELEMENT_NODE && !Ignored(child)) Warn(child);
            return relation;
        }
        if (Is(node, "Join")) {
            std::vector<xmlNode*> parts;
            for (xmlNode* child = node->children; child; child = child->next)
                if (Is(child, "Table") || Is(child, "Join")) parts.push_back(child);
            if (parts.size() != 2) Fail(node, "<Join> needs exactly two tables or joins");
            relation->Left = RelationOf(parts[0]);
            relation->Right = RelationOf(parts[1]);
            relation->LeftKey = Attr(node, "leftKey");
            relation->RightKey = Attr(node, "rightKey");
            relation->LeftAlias = Attr(node, "leftAlias", relation->Left->FirstAlias());
            relation->RightAlias = Attr(node, "rightAlias", relation->Right->FirstAlias());
            if (relation->LeftKey.empty() || relation->RightKey.empty())
                Fail(node, "<Join> needs leftKey and rightKey");
            return relation;
        }
        Fail(node, "<" + std::string(reinterpret_cast<const char*>(node->name)) +
                       "> is not supported as a table here (use <Table> or <Join>)");
    }

    LevelDefinition Level(xmlNode* node) {
        LevelDefinition level;
        level.Line = xmlGetLineNo(node);
        level.Name = Attr(node, "name");
        if (level.Name.empty()) Fail(node, "<Level> needs a name");
        level.Caption = Attr(node, "caption", level.Name);
        const std::string table = Attr(node, "table");
        level.Key = {table, Attr(node, "column"), ""};
        if (!Attr(node, "nameColumn").empty())
            level.NameColumn = {table, Attr(node, "nameColumn"), ""};
        if (!Attr(node, "ordinalColumn").empty())
            level.Ordinal = {table, Attr(node, "ordinalColumn"), ""};
        if (!Attr(node, "captionColumn").empty())
            level.CaptionColumn = {table, Attr(node, "captionColumn"), ""};
        level.Type = Attr(node, "type", "String");
        level.UniqueMembers = BoolAttr(node, "uniqueMembers", false);
        level.LevelType = Attr(node, "levelType", "Regular");
        if (!Attr(node, "parentColumn").empty())
            level.ParentColumn = {table, Attr(node, "parentColumn"), ""};
        level.NullParentValue = Attr(node, "nullParentValue");
        for (xmlNode* child = node->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) continue;
            if (Is(child, "KeyExpression")) {
                level.Key = {table, "", Sql(child)};
            } else if (Is(child, "NameExpression")) {
                level.NameColumn = {table, "", Sql(child)};
            } else if (Is(child, "OrdinalExpression")) {
                level.Ordinal = {table, "", Sql(child)};
            } else if (Is(child, "CaptionExpression")) {
                level.CaptionColumn = {table, "", Sql(child)};
            } else if (Is(child, "Property")) {
                PropertyDefinition property{
                    Attr(child, "name"), {table, Attr(child, "column"), ""}, Attr(child, "type")};
                if (property.Name.empty() || property.Column.Empty())
                    Fail(child,
                         "a property of the level '" + level.Name + "' needs a name and a column");
                level.Properties.push_back(std::move(property));
            } else if (Is(child, "ParentExpression")) {
                level.ParentColumn = {table, "", Sql(child)};
            } else if (Is(child, "Closure")) {
                level.Closure = Closure(child, level.Name);
            } else if (!Ignored(child)) {
                Warn(child);
            }
        }
        if (level.Key.Empty()) Fail(node, "the level '" + level.Name + "' needs a column");
        if (level.Closure.Present() && !level.ParentChild())
            Fail(node, "the level '" + level.Name + "' has a <Closure> but no parentColumn");
        return level;
    }

    ClosureDefinition Closure(xmlNode* node, const std::string& level) {
        ClosureDefinition closure;
        closure.ParentColumn = Attr(node, "parentColumn");
        closure.ChildColumn = Attr(node, "childColumn");
        if (closure.ParentColumn.empty() || closure.ChildColumn.empty())
            Fail(node,
                 "the <Closure> of the level '" + level + "' needs parentColumn and childColumn");
        for (xmlNode* child = node->children; child; child = child->next)
            if (Is(child, "Table")) closure.Table = Attr(child, "name");
        if (closure.Table.empty())
            Fail(node, "the <Closure> of the level '" + level + "' needs a <Table name=\"...\"/>");
        return closure;
    }

    HierarchyDefinition Hierarchy(xmlNode* node, const std::string& dimension) {
        HierarchyDefinition hierarchy;
        hierarchy.Line = xmlGetLineNo(node);
        hierarchy.Name = Attr(node, "name");
        hierarchy.Caption =
            Attr(node, "caption", hierarchy.Name.empty() ? dimension : hierarchy.Name);
        hierarchy.HasAll = BoolAttr(node, "hasAll", true);
        hierarchy.AllMemberName =
            Attr(node, "allMemberName",
                 "All " + (hierarchy.Name.empty() ? dimension : hierarchy.Name) + "s");
        hierarchy.PrimaryKey = Attr(node, "primaryKey");
        hierarchy.PrimaryKeyTable = Attr(node, "primaryKeyTable");
        hierarchy.DefaultMember = Attr(node, "defaultMember");
        for (xmlNode* child = node->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) continue;
            if (Is(child, "Table") || Is(child, "Join")) {
                hierarchy.Table = RelationOf(child);
            } else if (Is(child, "Level")) {
                hierarchy.Levels.push_back(Level(child));
            } else if (Is(child, "View") || Is(child, "InlineTable")) {
                Fail(child, "<" + std::string(reinterpret_cast<const char*>(child->name)) +
                                "> is not supported: use a table or a database view");
            } else if (!Ignored(child)) {
                Warn(child);
            }
        }
        if (hierarchy.Levels.empty())
            Fail(node, "the hierarchy of '" + dimension + "' has no level");
        // Members of a parent-child level hang under each other; a level beside it would have
        // no place in that tree.
        for (const LevelDefinition& level : hierarchy.Levels)
            if (level.ParentChild() && hierarchy.Levels.size() > 1)
                Fail(node, "the parent-child level '" + level.Name +
                               "' must be the only level of its hierarchy in '" + dimension + "'");
        if (hierarchy.Table && hierarchy.Table->IsJoin() && hierarchy.PrimaryKeyTable.empty())
            hierarchy.PrimaryKeyTable = hierarchy.Table->FirstAlias();
        return hierarchy;
    }

    DimensionDefinition Dimension(xmlNode* node) {
        DimensionDefinition dimension;
        dimension.Line = xmlGetLineNo(node);
        dimension.Name = Attr(node, "name");
        if (dimension.Name.empty()) Fail(node, "<Dimension> needs a name");
        dimension.Caption = Attr(node, "caption", dimension.Name);
        dimension.IsTime = Attr(node, "type") == "TimeDimension";
        dimension.ForeignKey = Attr(node, "foreignKey");
        for (xmlNode* child = node->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) continue;
            if (Is(child, "Hierarchy")) {
                dimension.Hierarchies.push_back(Hierarchy(child, dimension.Name));
            } else if (!Ignored(child)) {
                Warn(child);
            }
        }
        if (dimension.Hierarchies.empty())
            Fail(node, "the dimension '" + dimension.Name + "' has no hierarchy");
        return dimension;
    }

    MeasureDefinition Measure(xmlNode* node, const std::string& cube) {
        MeasureDefinition measure;
        measure.Line = xmlGetLineNo(node);
        measure.Name = Attr(node, "name");
        if (measure.Name.empty()) Fail(node, "<Measure> needs a name");
        measure.Caption = Attr(node, "caption", measure.Name);
        measure.Column = {"", Attr(node, "column"), ""};
        measure.Aggregator = Attr(node, "aggregator", "sum");
        measure.FormatString = Attr(node, "formatString");
        measure.Visible = BoolAttr(node, "visible", true);
        measure.Cube = cube;
        for (xmlNode* child = node->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) continue;
            if (Is(child, "MeasureExpression")) {
                measure.Column = {"", "", Sql(child)};
            } else if (Is(child, "CalculatedMemberProperty")) {
                if (Attr(child, "name") == "FORMAT_STRING")
                    measure.FormatString = Attr(child, "value");
            } else if (!Ignored(child)) {
                Warn(child);
            }
        }
        static const char* const aggregators[] = {
            "sum", "count", "distinct-count", "distinct count", "min", "max", "avg"};
        if (std::none_of(std::begin(aggregators), std::end(aggregators),
                         [&](const char* a) { return measure.Aggregator == a; }))
            Fail(node, "the measure '" + measure.Name + "' has the unknown aggregator '" +
                           measure.Aggregator + "'");
        if (measure.Aggregator == "distinct count") measure.Aggregator = "distinct-count";
        if (measure.Column.Empty() && measure.Aggregator != "count")
            Fail(node, "the measure '" + measure.Name + "' needs a column");
        return measure;
    }

    CalculatedMemberDefinition Calculated(xmlNode* node) {
        CalculatedMemberDefinition member;
        member.Line = xmlGetLineNo(node);
        member.Name = Attr(node, "name");
        member.Caption = Attr(node, "caption", member.Name);
        member.Dimension = Attr(node, "hierarchy", Attr(node, "dimension", "Measures"));
        member.Parent = Attr(node, "parent");
        member.Formula = Attr(node, "formula");
        member.FormatString = Attr(node, "formatString");
        member.Visible = BoolAttr(node, "visible", true);
        for (xmlNode* child = node->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) continue;
            if (Is(child, "Formula")) {
                member.Formula = Content(child);
            } else if (Is(child, "CalculatedMemberProperty")) {
                const std::string property = Attr(child, "name");
                if (property == "FORMAT_STRING") member.FormatString = Attr(child, "value");
                if (property == "SOLVE_ORDER")
                    member.SolveOrder = Integer(child, property, Attr(child, "value"));
                if (property == "MEMBER_ORDINAL")
                    member.MemberOrdinal = Integer(child, property, Attr(child, "value"));
            } else if (!Ignored(child)) {
                Warn(child);
            }
        }
        if (member.Name.empty() || member.Formula.empty())
            Fail(node, "<CalculatedMember> needs a name and a formula");
        return member;
    }

    // A <Kpi>: its expressions are child elements, so that MDX needs no escaping in attributes.
    KpiDefinition Kpi(xmlNode* node) {
        KpiDefinition kpi;
        kpi.Line = xmlGetLineNo(node);
        kpi.Name = Trim(Attr(node, "name"));
        if (kpi.Name.empty()) Fail(node, "<Kpi> needs a name");
        kpi.Caption = Attr(node, "caption", kpi.Name);
        kpi.Description = Attr(node, "description");
        kpi.DisplayFolder = Attr(node, "displayFolder");
        kpi.Parent = Trim(Attr(node, "parent"));
        struct Part {
            const char* Element;
            std::string KpiDefinition::*Field;
        };
        static const Part parts[] = {
            {"Value", &KpiDefinition::Value},
            {"Goal", &KpiDefinition::Goal},
            {"Status", &KpiDefinition::Status},
            {"Trend", &KpiDefinition::Trend},
            {"Weight", &KpiDefinition::Weight},
            {"StatusGraphic", &KpiDefinition::StatusGraphic},
            {"TrendGraphic", &KpiDefinition::TrendGraphic},
        };
        for (xmlNode* child = node->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) continue;
            const Part* part = nullptr;
            for (const Part& p : parts)
                if (Is(child, p.Element)) part = &p;
            if (part)
                kpi.*(part->Field) = Content(child);
            else if (!Ignored(child))
                Warn(child);
        }
        // A name without pictures would show as broken images on every page: say so now.
        for (std::string* graphic : {&kpi.StatusGraphic, &kpi.TrendGraphic}) {
            if (graphic->empty()) continue;
            const KpiGraphic* known = FindKpiGraphic(*graphic);
            if (!known)
                Fail(node, "the KPI '" + kpi.Name + "' names the graphic '" + *graphic +
                               "', which has no pictures; known graphics are " + KpiGraphicNames());
            *graphic = std::string(known->Name);
        }
        return kpi;
    }

    // Names are unique in a cube and every parent is a KPI of the cube, without cycles: the KPI
    // list orders its rows as a tree.
    void CheckKpis(xmlNode* node, const CubeDefinition& cube) {
        std::map<std::string, const KpiDefinition*> byName;
        for (const KpiDefinition& kpi : cube.Kpis)
            if (!byName.emplace(kpi.Name, &kpi).second)
                Fail(node, "the cube '" + cube.Name + "' defines the KPI '" + kpi.Name +
                               "' twice (line " + std::to_string(kpi.Line) + ")");
        for (const KpiDefinition& kpi : cube.Kpis) {
            const KpiDefinition* at = &kpi;
            for (size_t steps = 0; !at->Parent.empty(); ++steps) {
                auto parent = byName.find(at->Parent);
                if (parent == byName.end())
                    Fail(node, "the KPI '" + at->Name + "' (line " + std::to_string(at->Line) +
                                   ") names the parent '" + at->Parent +
                                   "', which is no KPI of the cube '" + cube.Name + "'");
                if (steps > cube.Kpis.size())
                    Fail(node, "the KPI '" + kpi.Name + "' (line " + std::to_string(kpi.Line) +
                                   ") is its own ancestor through its parents");
                at = parent->second;
            }
        }
    }

    NamedSetDefinition NamedSet(xmlNode* node) {
        NamedSetDefinition set;
        set.Line = xmlGetLineNo(node);
        set.Name = Attr(node, "name");
        set.Formula = Attr(node, "formula");
        for (xmlNode* child = node->children; child; child = child->next)
            if (Is(child, "Formula")) set.Formula = Content(child);
        if (set.Name.empty() || set.Formula.empty())
            Fail(node, "<NamedSet> needs a name and a formula");
        return set;
    }

    // The aggregate tables declared in the fact <Table>: named ones, patterns and exclusions.
    void Aggregates(xmlNode* table, CubeDefinition& cube) {
        for (xmlNode* child = table->children; child; child = child->next) {
            if (Is(child, "AggExclude")) {
                cube.AggregateExcludes.push_back(Exclude(child));
            } else if (Is(child, "AggName") || Is(child, "AggPattern")) {
                cube.Aggregates.push_back(Aggregate(child, cube));
            }
        }
    }

    AggregateExclude Exclude(xmlNode* node) {
        AggregateExclude exclude;
        exclude.Line = xmlGetLineNo(node);
        exclude.Name = Attr(node, "name");
        exclude.Pattern = Attr(node, "pattern");
        exclude.IgnoreCase = BoolAttr(node, "ignorecase", true);
        if (exclude.Name.empty() == exclude.Pattern.empty())
            Fail(node, "<AggExclude> needs either a name or a pattern");
        if (!exclude.Pattern.empty()) CheckPattern(node, exclude.Pattern);
        return exclude;
    }

    void CheckPattern(xmlNode* node, const std::string& pattern) const {
        try {
            std::regex check(pattern);
        } catch (const std::regex_error& error) {
            Fail(node,
                 "the pattern '" + pattern + "' is not a regular expression: " + error.what());
        }
    }

    // An attribute an aggregate element cannot do without.
    std::string Needed(xmlNode* node, const char* attribute) const {
        std::string value = Attr(node, attribute);
        if (value.empty())
            Fail(node, "<" + std::string(reinterpret_cast<const char*>(node->name)) + "> needs " +
                           attribute + "=\"...\"");
        return value;
    }

    AggregateDefinition Aggregate(xmlNode* node, const CubeDefinition& cube) {
        AggregateDefinition aggregate;
        aggregate.Line = xmlGetLineNo(node);
        if (Is(node, "AggName")) {
            aggregate.Name = Needed(node, "name");
        } else {
            aggregate.Pattern = Needed(node, "pattern");
            CheckPattern(node, aggregate.Pattern);
        }
        for (xmlNode* child = node->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) continue;
            const int line = xmlGetLineNo(child);
            if (Is(child, "AggFactCount")) {
                aggregate.FactCount = Needed(child, "column");
            } else if (Is(child, "AggIgnoreColumn")) {
                aggregate.IgnoredColumns.push_back(Needed(child, "column"));
            } else if (Is(child, "AggForeignKey")) {
                aggregate.ForeignKeys.push_back(
                    {Needed(child, "factColumn"), Needed(child, "aggColumn"), line});
            } else if (Is(child, "AggMeasure")) {
                aggregate.Measures.push_back(
                    {AggregatedMeasure(child, cube), Needed(child, "column"), line});
            } else if (Is(child, "AggLevel")) {
                AggregateLevel level = AggregatedLevel(child, cube);
                level.Column = Needed(child, "column");
                level.Collapsed = BoolAttr(child, "collapsed", true);
                level.Line = line;
                aggregate.Levels.push_back(std::move(level));
            } else if (Is(child, "AggExclude") && !aggregate.Pattern.empty()) {
                aggregate.Excludes.push_back(Exclude(child));
            } else {
                Warn(child);
            }
        }
        if (aggregate.FactCount.empty())
            Fail(node, "the aggregate " +
                           (aggregate.Name.empty() ? aggregate.Pattern : aggregate.Name) +
                           " needs an <AggFactCount column=\"...\"/>");
        return aggregate;
    }

    // The stored measure an <AggMeasure> names ("[Measures].[Unit Sales]").
    std::string AggregatedMeasure(xmlNode* node, const CubeDefinition& cube) const {
        const std::string name = Needed(node, "name");
        const std::vector<std::string> parts = NameParts(name);
        if (parts.size() == 2 && parts[0] == "Measures")
            for (const MeasureDefinition& measure : cube.Measures)
                if (measure.Name == parts[1]) return measure.Name;
        Fail(node, "the aggregate measure " + name + " is not a stored measure of the cube '" +
                       cube.Name + "'");
    }

    // The level an <AggLevel> names: [Dimension].[Level] for a dimension's first hierarchy,
    // [Dimension.Hierarchy].[Level] or [Dimension].[Hierarchy].[Level] for any.
    AggregateLevel AggregatedLevel(xmlNode* node, const CubeDefinition& cube) const {
        const std::string name = Needed(node, "name");
        const std::vector<std::string> parts = NameParts(name);
        for (const DimensionDefinition& dimension : cube.Dimensions)
            for (size_t h = 0; h < dimension.Hierarchies.size(); ++h) {
                const HierarchyDefinition& hierarchy = dimension.Hierarchies[h];
                const std::string own = hierarchy.Name.empty() ? dimension.Name : hierarchy.Name;
                const bool named =
                    (parts.size() == 2 && ((h == 0 && parts[0] == dimension.Name) ||
                                           parts[0] == dimension.Name + "." + own)) ||
                    (parts.size() == 3 && parts[0] == dimension.Name && parts[1] == own);
                if (!named) continue;
                for (const LevelDefinition& level : hierarchy.Levels)
                    if (level.Name == parts.back()) {
                        AggregateLevel found;
                        found.Dimension = dimension.Name;
                        found.Hierarchy = own;
                        found.Level = level.Name;
                        return found;
                    }
            }
        Fail(node,
             "the aggregate level " + name + " is not a level of the cube '" + cube.Name + "'");
    }

    CubeDefinition Cube(xmlNode* node) {
        CubeDefinition cube;
        cube.Line = xmlGetLineNo(node);
        cube.Name = Attr(node, "name");
        if (cube.Name.empty()) Fail(node, "<Cube> needs a name");
        cube.Caption = Attr(node, "caption", cube.Name);
        cube.DefaultMeasure = Attr(node, "defaultMeasure");
        xmlNode* factNode = nullptr;
        for (xmlNode* child = node->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) continue;
            if (Is(child, "Table")) {
                cube.Fact = RelationOf(child);
                factNode = child;
            } else if (Is(child, "View") || Is(child, "InlineTable")) {
                Fail(child, "the fact table must be a <Table>");
            } else if (Is(child, "Dimension")) {
                cube.Dimensions.push_back(Dimension(child));
            } else if (Is(child, "DimensionUsage")) {
                const std::string source = Attr(child, "source");
                auto found = shared_.find(source);
                if (found == shared_.end())
                    Fail(child, "the cube '" + cube.Name + "' uses the dimension '" + source +
                                    "', which the schema does not define");
                DimensionDefinition dimension = found->second;
                dimension.Name = Attr(child, "name", source);
                dimension.Caption = Attr(child, "caption", dimension.Name);
                dimension.ForeignKey = Attr(child, "foreignKey");
                dimension.Line = xmlGetLineNo(child);
                cube.Dimensions.push_back(std::move(dimension));
            } else if (Is(child, "Measure")) {
                cube.Measures.push_back(Measure(child, cube.Name));
            } else if (Is(child, "CalculatedMember")) {
                cube.CalculatedMembers.push_back(Calculated(child));
            } else if (Is(child, "NamedSet")) {
                cube.NamedSets.push_back(NamedSet(child));
            } else if (Is(child, "Kpi")) {
                cube.Kpis.push_back(Kpi(child));
            } else if (!Ignored(child)) {
                Warn(child);
            }
        }
        if (!cube.Fact) Fail(node, "the cube '" + cube.Name + "' has no fact <Table>");
        if (cube.Measures.empty()) Fail(node, "the cube '" + cube.Name + "' has no measure");
        for (const DimensionDefinition& dimension : cube.Dimensions)
            for (const HierarchyDefinition& hierarchy : dimension.Hierarchies)
                if (hierarchy.Table && dimension.ForeignKey.empty() &&
                    !hierarchy.Table->HasAlias(cube.Fact->FirstAlias()))
                    Fail(node, "the dimension '" + dimension.Name + "' of the cube '" + cube.Name +
                                   "' needs a foreignKey");
        CheckKpis(node, cube);
        // Read last: aggregate columns name the cube's measures and levels, declared after them.
        Aggregates(factNode, cube);
        return cube;
    }

    CubeDefinition VirtualCube(xmlNode* node, const std::vector<CubeDefinition>& cubes) {
        CubeDefinition cube;
        cube.Virtual = true;
        cube.Line = xmlGetLineNo(node);
        cube.Name = Attr(node, "name");
        cube.Caption = Attr(node, "caption", cube.Name);
        cube.DefaultMeasure = Attr(node, "defaultMeasure");
        auto base = [&](xmlNode* child, const std::string& name) -> const CubeDefinition& {
            for (const CubeDefinition& c : cubes)
                if (c.Name == name) return c;
            Fail(child,
                 "the virtual cube '" + cube.Name + "' uses the unknown cube '" + name + "'");
        };
        for (xmlNode* child = node->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) continue;
            if (Is(child, "VirtualCubeDimension")) {
                const std::string name = Attr(child, "name");
                const std::string cubeName = Attr(child, "cubeName");
                const DimensionDefinition* found = nullptr;
                if (cubeName.empty()) {
                    auto shared = shared_.find(name);
                    if (shared != shared_.end()) found = &shared->second;
                } else {
                    for (const DimensionDefinition& d : base(child, cubeName).Dimensions)
                        if (d.Name == name) found = &d;
                }
                if (!found)
                    Fail(child, "the virtual cube '" + cube.Name +
                                    "' uses the unknown dimension '" + name + "'");
                if (std::none_of(cube.Dimensions.begin(), cube.Dimensions.end(),
                                 [&](const DimensionDefinition& d) { return d.Name == name; }))
                    cube.Dimensions.push_back(*found);
            } else if (Is(child, "VirtualCubeMeasure")) {
                const CubeDefinition& from = base(child, Attr(child, "cubeName"));
                std::string name = Attr(child, "name");
                if (name.rfind("[Measures].[", 0) == 0 && name.back() == ']')
                    name = name.substr(12, name.size() - 13);
                bool found = false;
                for (const MeasureDefinition& m : from.Measures)
                    if (m.Name == name) {
                        cube.Measures.push_back(m);
                        found = true;
                    }
                for (const CalculatedMemberDefinition& m : from.CalculatedMembers)
                    if (m.Name == name && m.Dimension == "Measures") {
                        cube.CalculatedMembers.push_back(m);
                        found = true;
                    }
                if (!found)
                    Fail(child, "the cube '" + from.Name + "' has no measure '" + name + "'");
            } else if (Is(child, "CalculatedMember")) {
                cube.CalculatedMembers.push_back(Calculated(child));
            } else if (Is(child, "NamedSet")) {
                cube.NamedSets.push_back(NamedSet(child));
            } else if (Is(child, "Kpi")) {
                cube.Kpis.push_back(Kpi(child));
            } else if (Is(child, "CubeUsages")) {
                for (xmlNode* usage = child->children; usage; usage = usage->next)
                    if (Is(usage, "CubeUsage")) base(usage, Attr(usage, "cubeName"));
            } else if (!Ignored(child)) {
                Warn(child);
            }
        }
        if (cube.Measures.empty())
            Fail(node, "the virtual cube '" + cube.Name + "' has no measure");
        CheckKpis(node, cube);
        return cube;
    }

    std::string name_;
    std::string dialect_;
    std::map<std::string, DimensionDefinition> shared_;
    std::vector<std::string> warnings_;
};

struct DocumentDeleter {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};

}  // namespace

SchemaDefinition ParseCubeSchema(const std::string& text, const std::string& name,
                                 const std::string& dialect) {
    std::unique_ptr<xmlDoc, DocumentDeleter> document(
        xmlReadMemory(text.data(), static_cast<int>(text.size()), name.c_str(), nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!document) {
        const xmlError* error = xmlGetLastError();
        std::string what = error && error->message ? Trim(error->message) : "not well-formed XML";
        // The library's own depth limit names an option the user cannot set: say what it means.
        if (what.rfind("Excessive depth in document: ", 0) == 0)
            what = "elements nested deeper than " + what.substr(29, what.find(' ', 29) - 29) +
                   " levels";
        const int line = error ? error->line : 0;
        throw CubeSchemaError("Cube schema " + name +
                              (line > 0 ? " line " + std::to_string(line) : "") + ": " + what);
    }
    return Reader(name, dialect).Read(xmlDocGetRootElement(document.get()));
}

SchemaDefinition ReadCubeSchema(const std::string& path, const std::string& dialect) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw CubeSchemaError("Cube schema " + path + " cannot be read: " + std::strerror(errno));
    std::ostringstream text;
    text << file.rdbuf();
    return ParseCubeSchema(text.str(), path, dialect);
}

}  // namespace orvik::cube
