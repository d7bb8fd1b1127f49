// Schema rowsets built from a catalog. Column lists and their order follow what OLAP servers
// send, because report tools read these rowsets by position (the KPI list reads column 2 as the
// cube and 16 as the parent KPI). Codes in the numeric columns are the OLE DB for OLAP ones.
#include "olap/OlapSchemaRowsets.h"
#include "olap/NameCase.h"

#include <span>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "data/AdoException.h"

namespace orvik {
namespace {

constexpr const char* kSource = "OLAP";

// The Measures dimension has one hierarchy with one level, named as every server names them.
constexpr const char* kMeasuresName = "Measures";
constexpr const char* kMeasuresUniqueName = "[Measures]";
constexpr const char* kMeasuresLevelName = "MeasuresLevel";
constexpr const char* kMeasuresLevelUniqueName = "[Measures].[MeasuresLevel]";

// DIMENSION_TYPE
constexpr int kDimensionTime = 1;
constexpr int kDimensionMeasure = 2;
constexpr int kDimensionOther = 3;
// LEVEL_TYPE
constexpr int kLevelRegular = 0x0000;
constexpr int kLevelAll = 0x0001;
// MEMBER_TYPE
constexpr int kMemberRegular = 1;
constexpr int kMemberAll = 2;
constexpr int kMemberMeasure = 3;
constexpr int kMemberFormula = 4;
// STRUCTURE: every level of our hierarchies reaches down to the leaves.
constexpr int kStructureFullyBalanced = 0;
// CUBE_SOURCE: a cube rather than a dimension seen as a cube.
constexpr int kCubeSourceCube = 1;

struct RowsetInfo {
    OlapSchemaRowsetKind Kind;
    const char* Name;
    const char* Guid;  // upper case, without braces
};

constexpr RowsetInfo kRowsets[] = {
    {OlapSchemaRowsetKind::Cubes, "MDSCHEMA_CUBES", "C8B522D8-5CF3-11CE-ADE5-00AA0044773D"},
    {OlapSchemaRowsetKind::Dimensions, "MDSCHEMA_DIMENSIONS",
     "C8B522D9-5CF3-11CE-ADE5-00AA0044773D"},
    {OlapSchemaRowsetKind::Hierarchies, "MDSCHEMA_HIERARCHIES",
     "C8B522DA-5CF3-11CE-ADE5-00AA0044773D"},
    {OlapSchemaRowsetKind::Levels, "MDSCHEMA_LEVELS", "C8B522DB-5CF3-11CE-ADE5-00AA0044773D"},
    {OlapSchemaRowsetKind::Measures, "MDSCHEMA_MEASURES", "C8B522DC-5CF3-11CE-ADE5-00AA0044773D"},
    {OlapSchemaRowsetKind::Properties, "MDSCHEMA_PROPERTIES",
     "C8B522DD-5CF3-11CE-ADE5-00AA0044773D"},
    {OlapSchemaRowsetKind::Members, "MDSCHEMA_MEMBERS", "C8B522DE-5CF3-11CE-ADE5-00AA0044773D"},
    {OlapSchemaRowsetKind::Kpis, "MDSCHEMA_KPIS", "2AE44109-ED3D-4842-B16F-B694D1CB0E3F"},
};

struct Column {
    const char* Name;
    VariantType Type;
};

constexpr VariantType kText = VariantType::String;
constexpr VariantType kGuid = VariantType::String;
constexpr VariantType kDate = VariantType::Date;
constexpr VariantType kBool = VariantType::Bool;
constexpr VariantType kShort = VariantType::I2;
constexpr VariantType kUShort = VariantType::UI2;
constexpr VariantType kInt = VariantType::I4;
constexpr VariantType kUInt = VariantType::UI4;

constexpr Column kCubeColumns[] = {
    {"CATALOG_NAME", kText},
    {"SCHEMA_NAME", kText},
    {"CUBE_NAME", kText},
    {"CUBE_TYPE", kText},
    {"CUBE_GUID", kGuid},
    {"CREATED_ON", kDate},
    {"LAST_SCHEMA_UPDATE", kDate},
    {"SCHEMA_UPDATED_BY", kText},
    {"LAST_DATA_UPDATE", kDate},
    {"DATA_UPDATED_BY", kText},
    {"DESCRIPTION", kText},
    {"IS_DRILLTHROUGH_ENABLED", kBool},
    {"IS_LINKABLE", kBool},
    {"IS_WRITE_ENABLED", kBool},
    {"IS_SQL_ENABLED", kBool},
    {"CUBE_CAPTION", kText},
    {"BASE_CUBE_NAME", kText},
    {"CUBE_SOURCE", kUShort},
    {"PREFERRED_QUERY_PATTERNS", kUShort},
};

constexpr Column kDimensionColumns[] = {
    {"CATALOG_NAME", kText},
    {"SCHEMA_NAME", kText},
    {"CUBE_NAME", kText},
    {"DIMENSION_NAME", kText},
    {"DIMENSION_UNIQUE_NAME", kText},
    {"DIMENSION_GUID", kGuid},
    {"DIMENSION_CAPTION", kText},
    {"DIMENSION_ORDINAL", kUInt},
    {"DIMENSION_TYPE", kShort},
    {"DIMENSION_CARDINALITY", kUInt},
    {"DEFAULT_HIERARCHY", kText},
    {"DESCRIPTION", kText},
    {"IS_VIRTUAL", kBool},
    {"IS_READWRITE", kBool},
    {"DIMENSION_UNIQUE_SETTINGS", kInt},
    {"DIMENSION_MASTER_NAME", kText},
    {"DIMENSION_IS_VISIBLE", kBool},
};

constexpr Column kHierarchyColumns[] = {
    {"CATALOG_NAME", kText},
    {"SCHEMA_NAME", kText},
    {"CUBE_NAME", kText},
    {"DIMENSION_UNIQUE_NAME", kText},
    {"HIERARCHY_NAME", kText},
    {"HIERARCHY_UNIQUE_NAME", kText},
    {"HIERARCHY_GUID", kGuid},
    {"HIERARCHY_CAPTION", kText},
    {"DIMENSION_TYPE", kShort},
    {"HIERARCHY_CARDINALITY", kUInt},
    {"DEFAULT_MEMBER", kText},
    {"ALL_MEMBER", kText},
    {"DESCRIPTION", kText},
    {"STRUCTURE", kShort},
    {"IS_VIRTUAL", kBool},
    {"IS_READWRITE", kBool},
    {"DIMENSION_UNIQUE_SETTINGS", kInt},
    {"DIMENSION_MASTER_UNIQUE_NAME", kText},
    {"DIMENSION_IS_VISIBLE", kBool},
    {"HIERARCHY_ORDINAL", kUInt},
    {"DIMENSION_IS_SHARED", kBool},
    {"HIERARCHY_IS_VISIBLE", kBool},
    {"HIERARCHY_ORIGIN", kUShort},
    {"HIERARCHY_DISPLAY_FOLDER", kText},
    {"INSTANCE_SELECTION", kUShort},
    {"GROUPING_BEHAVIOR", kUShort},
};

constexpr Column kLevelColumns[] = {
    {"CATALOG_NAME", kText},
    {"SCHEMA_NAME", kText},
    {"CUBE_NAME", kText},
    {"DIMENSION_UNIQUE_NAME", kText},
    {"HIERARCHY_UNIQUE_NAME", kText},
    {"LEVEL_NAME", kText},
    {"LEVEL_UNIQUE_NAME", kText},
    {"LEVEL_GUID", kGuid},
    {"LEVEL_CAPTION", kText},
    {"LEVEL_NUMBER", kUInt},
    {"LEVEL_CARDINALITY", kUInt},
    {"LEVEL_TYPE", kInt},
    {"DESCRIPTION", kText},
    {"CUSTOM_ROLLUP_SETTINGS", kInt},
    {"LEVEL_UNIQUE_SETTINGS", kInt},
    {"LEVEL_IS_VISIBLE", kBool},
    {"LEVEL_ORDERING_PROPERTY", kText},
    {"LEVEL_DBTYPE", kInt},
    {"LEVEL_MASTER_UNIQUE_NAME", kText},
    {"LEVEL_NAME_SQL_COLUMN_NAME", kText},
    {"LEVEL_KEY_SQL_COLUMN_NAME", kText},
    {"LEVEL_UNIQUE_NAME_SQL_COLUMN_NAME", kText},
    {"LEVEL_ATTRIBUTE_HIERARCHY_NAME", kText},
    {"LEVEL_KEY_CARDINALITY", kUShort},
    {"LEVEL_ORIGIN", kUShort},
};

constexpr Column kMeasureColumns[] = {
    {"CATALOG_NAME", kText},
    {"SCHEMA_NAME", kText},
    {"CUBE_NAME", kText},
    {"MEASURE_NAME", kText},
    {"MEASURE_UNIQUE_NAME", kText},
    {"MEASURE_CAPTION", kText},
    {"MEASURE_GUID", kGuid},
    {"MEASURE_AGGREGATOR", kInt},
    {"DATA_TYPE", kUShort},
    {"NUMERIC_PRECISION", kUShort},
    {"NUMERIC_SCALE", kShort},
    {"MEASURE_UNITS", kText},
    {"DESCRIPTION", kText},
    {"EXPRESSION", kText},
    {"MEASURE_IS_VISIBLE", kBool},
    {"LEVELS_LIST", kText},
    {"MEASURE_NAME_SQL_COLUMN_NAME", kText},
    {"MEASURE_UNQUALIFIED_CAPTION", kText},
    {"MEASUREGROUP_NAME", kText},
    {"MEASURE_DISPLAY_FOLDER", kText},
    {"DEFAULT_FORMAT_STRING", kText},
};

constexpr Column kMemberColumns[] = {
    {"CATALOG_NAME", kText},
    {"SCHEMA_NAME", kText},
    {"CUBE_NAME", kText},
    {"DIMENSION_UNIQUE_NAME", kText},
    {"HIERARCHY_UNIQUE_NAME", kText},
    {"LEVEL_UNIQUE_NAME", kText},
    {"LEVEL_NUMBER", kUInt},
    {"MEMBER_ORDINAL", kUInt},
    {"MEMBER_NAME", kText},
    {"MEMBER_UNIQUE_NAME", kText},
    {"MEMBER_TYPE", kInt},
    {"MEMBER_GUID", kGuid},
    {"MEMBER_CAPTION", kText},
    {"CHILDREN_CARDINALITY", kUInt},
    {"PARENT_LEVEL", kUInt},
    {"PARENT_UNIQUE_NAME", kText},
    {"PARENT_COUNT", kUInt},
    {"DESCRIPTION", kText},
    {"EXPRESSION", kText},
    {"MEMBER_KEY", kText},
    {"IS_PLACEHOLDERMEMBER", kBool},
    {"IS_DATAMEMBER", kBool},
    {"SCOPE", kInt},
};

constexpr Column kKpiColumns[] = {
    {"CATALOG_NAME", kText},
    {"SCHEMA_NAME", kText},
    {"CUBE_NAME", kText},
    {"MEASUREGROUP_NAME", kText},
    {"KPI_NAME", kText},
    {"KPI_CAPTION", kText},
    {"KPI_DESCRIPTION", kText},
    {"KPI_DISPLAY_FOLDER", kText},
    {"KPI_VALUE", kText},
    {"KPI_GOAL", kText},
    {"KPI_STATUS", kText},
    {"KPI_TREND", kText},
    {"KPI_STATUS_GRAPHIC", kText},
    {"KPI_TREND_GRAPHIC", kText},
    {"KPI_WEIGHT", kText},
    {"KPI_CURRENT_TIME_MEMBER", kText},
    {"KPI_PARENT_KPI_NAME", kText},
    {"ANNOTATIONS", kText},
    {"SCOPE", kInt},
};

// Writes rows of a fixed column list: every cell starts null, as a server leaves out what it
// does not know, and the fill code names columns instead of counting positions.
class RowWriter {
  public:
    RowWriter(RowStore& into, std::span<const Column> columns) : into_(into), columns_(columns) {
        std::vector<FieldInfo> fields;
        fields.reserve(columns.size());
        for (const Column& column : columns) fields.push_back({column.Name, column.Type});
        into.SetFields(std::move(fields));
    }

    size_t operator[](std::string_view name) const {
        for (size_t i = 0; i < columns_.size(); ++i)
            if (name == columns_[i].Name) return i;
        throw std::logic_error("no schema rowset column " + std::string(name));
    }

    void NewRow() {
        into_.AppendRow();
        for (size_t i = 0; i < columns_.size(); ++i) into_.PutNull(i);
    }
    // An empty text stays null: the catalog uses "" for "none".
    void Text(size_t column, std::string_view value) {
        if (!value.empty()) into_.PutText(column, value);
    }
    // A negative count in an unsigned column means the catalog does not know it.
    void Number(size_t column, int64_t value) {
        const VariantType type = columns_[column].Type;
        if (value < 0 && (type == VariantType::UI2 || type == VariantType::UI4)) return;
        into_.PutInteger(column, type, value);
    }
    void Flag(size_t column, bool value) {
        into_.PutInteger(column, VariantType::Bool, value ? 1 : 0);
    }

  private:
    RowStore& into_;
    std::span<const Column> columns_;
};

// The id as it may appear in a message: a schema id comes from a report file, so it is cut
// short and kept to printable characters.
std::string Printable(std::string_view text) {
    constexpr size_t kLimit = 60;
    std::string out;
    for (char c : text.substr(0, kLimit)) out += c >= ' ' && c <= '~' ? c : '?';
    if (text.size() > kLimit) out += "...";
    return out;
}

// The cubes the restriction selects, with their catalogs.
std::vector<OlapCube> SelectedCubes(OlapConnection& connection, const std::string& restriction) {
    std::vector<OlapCube> cubes;
    for (const std::string& name : connection.CubeNames())
        if (restriction.empty() || SameName(name, restriction))
            cubes.push_back(connection.Cube(name));
    return cubes;
}

int DimensionType(const OlapDimension& dimension) {
    return dimension.IsTime ? kDimensionTime : kDimensionOther;
}

// OLE DB's MEASURE_AGGREGATOR codes; 0 (unknown) for an aggregator without one.
int AggregatorCode(const std::string& aggregator) {
    static const std::pair<const char*, int> codes[] = {
        {"sum", 1}, {"count", 2},          {"min", 3},          {"max", 4},
        {"avg", 5}, {"distinct-count", 8}, {"calculated", 127},
    };
    for (const auto& [name, code] : codes)
        if (SameName(aggregator, name)) return code;
    return 0;
}

void BuildCubes(OlapConnection& connection, const std::string& restriction, RowStore& into) {
    RowWriter row(into, kCubeColumns);
    const size_t name = row["CUBE_NAME"], type = row["CUBE_TYPE"], caption = row["CUBE_CAPTION"],
                 source = row["CUBE_SOURCE"];
    const size_t flags[] = {row["IS_DRILLTHROUGH_ENABLED"], row["IS_LINKABLE"],
                            row["IS_WRITE_ENABLED"], row["IS_SQL_ENABLED"]};
    for (const OlapCube& cube : SelectedCubes(connection, restriction)) {
        row.NewRow();
        row.Text(name, cube.Name);
        row.Text(type, "CUBE");
        row.Text(caption, cube.Caption.empty() ? cube.Name : cube.Caption);
        row.Number(source, kCubeSourceCube);
        for (size_t flag : flags) row.Flag(flag, false);
    }
}

void BuildDimensions(OlapConnection& connection, const std::string& restriction, RowStore& into) {
    RowWriter row(into, kDimensionColumns);
    const size_t cubeName = row["CUBE_NAME"], name = row["DIMENSION_NAME"],
                 uniqueName = row["DIMENSION_UNIQUE_NAME"], caption = row["DIMENSION_CAPTION"],
                 ordinal = row["DIMENSION_ORDINAL"], type = row["DIMENSION_TYPE"],
                 defaultHierarchy = row["DEFAULT_HIERARCHY"], isVirtual = row["IS_VIRTUAL"],
                 readWrite = row["IS_READWRITE"], visible = row["DIMENSION_IS_VISIBLE"];
    for (const OlapCube& cube : SelectedCubes(connection, restriction)) {
        auto add = [&](int number, const std::string& dimensionName,
                       const std::string& dimensionUniqueName, const std::string& dimensionCaption,
                       int dimensionType, const std::string& firstHierarchy) {
            row.NewRow();
            row.Text(cubeName, cube.Name);
            row.Text(name, dimensionName);
            row.Text(uniqueName, dimensionUniqueName);
            row.Text(caption, dimensionCaption.empty() ? dimensionName : dimensionCaption);
            row.Number(ordinal, number);
            row.Number(type, dimensionType);
            row.Text(defaultHierarchy, firstHierarchy);
            row.Flag(isVirtual, false);
            row.Flag(readWrite, false);
            row.Flag(visible, true);
        };
        add(0, kMeasuresName, kMeasuresUniqueName, kMeasuresName, kDimensionMeasure,
            kMeasuresUniqueName);
        int number = 1;
        for (const OlapDimension& dimension : cube.Dimensions)
            add(number++, dimension.Name, dimension.UniqueName, dimension.Caption,
                DimensionType(dimension),
                dimension.Hierarchies.empty() ? std::string()
                                              : dimension.Hierarchies.front().UniqueName);
    }
}

void BuildHierarchies(OlapConnection& connection, const std::string& restriction, RowStore& into) {
    RowWriter row(into, kHierarchyColumns);
    const size_t cubeName = row["CUBE_NAME"], dimensionName = row["DIMENSION_UNIQUE_NAME"],
                 name = row["HIERARCHY_NAME"], uniqueName = row["HIERARCHY_UNIQUE_NAME"],
                 caption = row["HIERARCHY_CAPTION"], type = row["DIMENSION_TYPE"],
                 defaultMember = row["DEFAULT_MEMBER"], structure = row["STRUCTURE"],
                 isVirtual = row["IS_VIRTUAL"], readWrite = row["IS_READWRITE"],
                 dimensionVisible = row["DIMENSION_IS_VISIBLE"], ordinal = row["HIERARCHY_ORDINAL"],
                 visible = row["HIERARCHY_IS_VISIBLE"];
    for (const OlapCube& cube : SelectedCubes(connection, restriction)) {
        auto add = [&](int number, const std::string& dimension, int dimensionType,
                       const std::string& hierarchyName, const std::string& hierarchyUniqueName,
                       const std::string& hierarchyCaption, const std::string& defaultName) {
            row.NewRow();
            row.Text(cubeName, cube.Name);
            row.Text(dimensionName, dimension);
            row.Text(name, hierarchyName);
            row.Text(uniqueName, hierarchyUniqueName);
            row.Text(caption, hierarchyCaption.empty() ? hierarchyName : hierarchyCaption);
            row.Number(type, dimensionType);
            row.Text(defaultMember, defaultName);
            row.Number(structure, kStructureFullyBalanced);
            row.Flag(isVirtual, false);
            row.Flag(readWrite, false);
            row.Flag(dimensionVisible, true);
            row.Number(ordinal, number);
            row.Flag(visible, true);
        };
        add(0, kMeasuresUniqueName, kDimensionMeasure, kMeasuresName, kMeasuresUniqueName,
            kMeasuresName, {});
        int number = 1;
        for (const OlapDimension& dimension : cube.Dimensions)
            for (const OlapHierarchy& hierarchy : dimension.Hierarchies)
                add(number++, dimension.UniqueName, DimensionType(dimension), hierarchy.Name,
                    hierarchy.UniqueName, hierarchy.Caption, hierarchy.DefaultMember);
    }
}

void BuildLevels(OlapConnection& connection, const std::string& restriction, RowStore& into) {
    RowWriter row(into, kLevelColumns);
    const size_t cubeName = row["CUBE_NAME"], dimensionName = row["DIMENSION_UNIQUE_NAME"],
                 hierarchyName = row["HIERARCHY_UNIQUE_NAME"], name = row["LEVEL_NAME"],
                 uniqueName = row["LEVEL_UNIQUE_NAME"], caption = row["LEVEL_CAPTION"],
                 number = row["LEVEL_NUMBER"], type = row["LEVEL_TYPE"],
                 visible = row["LEVEL_IS_VISIBLE"];
    for (const OlapCube& cube : SelectedCubes(connection, restriction)) {
        auto add = [&](const std::string& dimension, const std::string& hierarchy,
                       const OlapLevel& level) {
            row.NewRow();
            row.Text(cubeName, cube.Name);
            row.Text(dimensionName, dimension);
            row.Text(hierarchyName, hierarchy);
            row.Text(name, level.Name);
            row.Text(uniqueName, level.UniqueName);
            row.Text(caption, level.Caption.empty() ? level.Name : level.Caption);
            row.Number(number, level.Number);
            row.Number(type, level.IsAll ? kLevelAll : kLevelRegular);
            row.Flag(visible, true);
        };
        add(kMeasuresUniqueName, kMeasuresUniqueName,
            {kMeasuresLevelName, kMeasuresLevelUniqueName, kMeasuresLevelName, 0, false});
        for (const OlapDimension& dimension : cube.Dimensions)
            for (const OlapHierarchy& hierarchy : dimension.Hierarchies)
                for (const OlapLevel& level : hierarchy.Levels)
                    add(dimension.UniqueName, hierarchy.UniqueName, level);
    }
}

void BuildMeasures(OlapConnection& connection, const std::string& restriction, RowStore& into) {
    RowWriter row(into, kMeasureColumns);
    const size_t cubeName = row["CUBE_NAME"], name = row["MEASURE_NAME"],
                 uniqueName = row["MEASURE_UNIQUE_NAME"], caption = row["MEASURE_CAPTION"],
                 aggregator = row["MEASURE_AGGREGATOR"], visible = row["MEASURE_IS_VISIBLE"],
                 unqualified = row["MEASURE_UNQUALIFIED_CAPTION"],
                 format = row["DEFAULT_FORMAT_STRING"];
    for (const OlapCube& cube : SelectedCubes(connection, restriction))
        for (const OlapMeasure& measure : cube.Measures) {
            const std::string& shown = measure.Caption.empty() ? measure.Name : measure.Caption;
            row.NewRow();
            row.Text(cubeName, cube.Name);
            row.Text(name, measure.Name);
            row.Text(uniqueName, measure.UniqueName);
            row.Text(caption, shown);
            row.Number(aggregator, AggregatorCode(measure.Aggregator));
            row.Flag(visible, measure.Visible);
            row.Text(unqualified, shown);
            row.Text(format, measure.FormatString);
        }
}

// SCOPE: defined with the cube, not in a session.
constexpr int kScopeGlobal = 1;

void BuildKpis(OlapConnection& connection, const std::string& restriction, RowStore& into) {
    RowWriter row(into, kKpiColumns);
    struct Field {
        const char* Column;
        std::string OlapKpi::*Text;
    };
    static const Field fields[] = {
        {"KPI_NAME", &OlapKpi::Name},
        {"KPI_CAPTION", &OlapKpi::Caption},
        {"KPI_DESCRIPTION", &OlapKpi::Description},
        {"KPI_DISPLAY_FOLDER", &OlapKpi::DisplayFolder},
        {"KPI_VALUE", &OlapKpi::Value},
        {"KPI_GOAL", &OlapKpi::Goal},
        {"KPI_STATUS", &OlapKpi::Status},
        {"KPI_TREND", &OlapKpi::Trend},
        {"KPI_STATUS_GRAPHIC", &OlapKpi::StatusGraphic},
        {"KPI_TREND_GRAPHIC", &OlapKpi::TrendGraphic},
        {"KPI_WEIGHT", &OlapKpi::Weight},
        {"KPI_PARENT_KPI_NAME", &OlapKpi::Parent},
    };
    const size_t cubeName = row["CUBE_NAME"], scope = row["SCOPE"];
    for (const OlapCube& cube : SelectedCubes(connection, restriction))
        for (const OlapKpi& kpi : cube.Kpis) {
            row.NewRow();
            row.Text(cubeName, cube.Name);
            for (const Field& field : fields) row.Text(row[field.Column], kpi.*(field.Text));
            row.Number(scope, kScopeGlobal);
        }
}

// The MEMBERS columns the fill code writes, looked up once per rowset.
struct MemberColumns {
    explicit MemberColumns(const RowWriter& row)
        : Cube(row["CUBE_NAME"]),
          Dimension(row["DIMENSION_UNIQUE_NAME"]),
          Hierarchy(row["HIERARCHY_UNIQUE_NAME"]),
          Level(row["LEVEL_UNIQUE_NAME"]),
          LevelNumber(row["LEVEL_NUMBER"]),
          Ordinal(row["MEMBER_ORDINAL"]),
          Name(row["MEMBER_NAME"]),
          UniqueName(row["MEMBER_UNIQUE_NAME"]),
          Type(row["MEMBER_TYPE"]),
          Caption(row["MEMBER_CAPTION"]),
          Children(row["CHILDREN_CARDINALITY"]),
          ParentLevel(row["PARENT_LEVEL"]),
          Parent(row["PARENT_UNIQUE_NAME"]),
          ParentCount(row["PARENT_COUNT"]),
          Placeholder(row["IS_PLACEHOLDERMEMBER"]),
          DataMember(row["IS_DATAMEMBER"]) {}
    size_t Cube, Dimension, Hierarchy, Level, LevelNumber, Ordinal, Name, UniqueName, Type, Caption,
        Children, ParentLevel, Parent, ParentCount, Placeholder, DataMember;
};

// One member read from the catalog, with the level it was asked for under.
struct LevelMember {
    CellSetMember Member;
    const OlapLevel* Level;
};

// Writes one hierarchy's members, each parent before its children and siblings in catalog
// order. Parents are found by unique name; a member whose parent is not among them (or a
// catalog that loops) still appears exactly once.
void WriteHierarchyMembers(RowWriter& row, const MemberColumns& c, const std::string& cube,
                           const std::string& dimension, const OlapHierarchy& hierarchy,
                           const std::vector<LevelMember>& members) {
    std::unordered_map<std::string, size_t> byName;
    byName.reserve(members.size());
    for (size_t i = 0; i < members.size(); ++i) byName.emplace(members[i].Member.UniqueName, i);
    std::vector<std::vector<size_t>> children(members.size());
    std::vector<size_t> roots;
    for (size_t i = 0; i < members.size(); ++i) {
        auto parent = byName.find(members[i].Member.ParentUniqueName);
        if (members[i].Member.ParentUniqueName.empty() || parent == byName.end() ||
            parent->second == i)
            roots.push_back(i);
        else
            children[parent->second].push_back(i);
    }
    std::vector<bool> written(members.size(), false);
    int64_t ordinal = 0;
    auto write = [&](size_t i) {
        const CellSetMember& member = members[i].Member;
        const OlapLevel& level = *members[i].Level;
        row.NewRow();
        row.Text(c.Cube, cube);
        row.Text(c.Dimension, dimension);
        row.Text(c.Hierarchy, hierarchy.UniqueName);
        row.Text(c.Level, level.UniqueName);
        row.Number(c.LevelNumber, level.Number);
        row.Number(c.Ordinal, ordinal++);
        row.Text(c.Name, member.Name.empty() ? member.Caption : member.Name);
        row.Text(c.UniqueName, member.UniqueName);
        row.Number(c.Type, level.IsAll ? kMemberAll : kMemberRegular);
        row.Text(c.Caption, member.Caption);
        row.Number(c.Children, static_cast<int64_t>(children[i].size()));
        const bool hasParent = !member.ParentUniqueName.empty();
        if (hasParent) row.Number(c.ParentLevel, level.Number - 1);
        row.Text(c.Parent, member.ParentUniqueName);
        row.Number(c.ParentCount, hasParent ? 1 : 0);
        row.Flag(c.Placeholder, false);
        row.Flag(c.DataMember, false);
    };
    // Depth first with an explicit stack: a catalog may be deeper than the call stack is.
    auto walk = [&](size_t start) {
        std::vector<size_t> stack{start};
        while (!stack.empty()) {
            const size_t i = stack.back();
            stack.pop_back();
            if (written[i]) continue;
            written[i] = true;
            write(i);
            for (auto child = children[i].rbegin(); child != children[i].rend(); ++child)
                if (!written[*child]) stack.push_back(*child);
        }
    };
    for (size_t root : roots) walk(root);
    for (size_t i = 0; i < members.size(); ++i) walk(i);
}

void BuildMembers(OlapConnection& connection, const std::string& restriction, RowStore& into) {
    RowWriter row(into, kMemberColumns);
    const MemberColumns c(row);
    for (const OlapCube& cube : SelectedCubes(connection, restriction)) {
        int64_t ordinal = 0;
        for (const OlapMeasure& measure : cube.Measures) {
            row.NewRow();
            row.Text(c.Cube, cube.Name);
            row.Text(c.Dimension, kMeasuresUniqueName);
            row.Text(c.Hierarchy, kMeasuresUniqueName);
            row.Text(c.Level, kMeasuresLevelUniqueName);
            row.Number(c.LevelNumber, 0);
            row.Number(c.Ordinal, ordinal++);
            row.Text(c.Name, measure.Name);
            row.Text(c.UniqueName, measure.UniqueName);
            row.Number(c.Type,
                       measure.Aggregator == "calculated" ? kMemberFormula : kMemberMeasure);
            row.Text(c.Caption, measure.Caption.empty() ? measure.Name : measure.Caption);
            row.Number(c.Children, 0);
            row.Number(c.ParentCount, 0);
            row.Flag(c.Placeholder, false);
            row.Flag(c.DataMember, false);
        }
        for (const OlapDimension& dimension : cube.Dimensions)
            for (const OlapHierarchy& hierarchy : dimension.Hierarchies) {
                std::vector<LevelMember> members;
                for (const OlapLevel& level : hierarchy.Levels)
                    for (CellSetMember& member :
                         connection.LevelMembers(cube.Name, level.UniqueName))
                        members.push_back({std::move(member), &level});
                WriteHierarchyMembers(row, c, cube.Name, dimension.UniqueName, hierarchy, members);
            }
    }
}

}  // namespace

OlapSchemaRowsetKind FindOlapSchemaRowset(std::string_view schemaId) {
    std::string_view id = schemaId;
    while (!id.empty() && (id.front() == ' ' || id.front() == '\t')) id.remove_prefix(1);
    while (!id.empty() && (id.back() == ' ' || id.back() == '\t')) id.remove_suffix(1);
    std::string_view guid = id;
    if (guid.size() >= 2 && guid.front() == '{' && guid.back() == '}')
        guid = guid.substr(1, guid.size() - 2);
    for (const RowsetInfo& rowset : kRowsets)
        if (SameName(id, rowset.Name) || SameName(guid, rowset.Guid)) return rowset.Kind;
    std::string known;
    for (const RowsetInfo& rowset : kRowsets)
        if (rowset.Kind != OlapSchemaRowsetKind::Properties)
            known += (known.empty() ? "" : ", ") + std::string(rowset.Name);
    throw CADOException(AdoError::FeatureNotAvailable,
                        "The OLAP schema rowset '" + Printable(schemaId) +
                            "' is not known; an OLAP connection lists " + known +
                            " (by name or schema GUID)",
                        kSource);
}

std::vector<FieldInfo> OlapSchemaRowsetFields(OlapSchemaRowsetKind kind) {
    struct KindColumns {
        OlapSchemaRowsetKind Kind;
        std::span<const Column> Columns;
    };
    static const KindColumns kColumns[] = {
        {OlapSchemaRowsetKind::Cubes, kCubeColumns},
        {OlapSchemaRowsetKind::Dimensions, kDimensionColumns},
        {OlapSchemaRowsetKind::Hierarchies, kHierarchyColumns},
        {OlapSchemaRowsetKind::Levels, kLevelColumns},
        {OlapSchemaRowsetKind::Measures, kMeasureColumns},
        {OlapSchemaRowsetKind::Members, kMemberColumns},
        {OlapSchemaRowsetKind::Kpis, kKpiColumns},
    };
    std::vector<FieldInfo> fields;
    for (const KindColumns& entry : kColumns)
        if (entry.Kind == kind)
            for (const Column& column : entry.Columns) fields.push_back({column.Name, column.Type});
    return fields;
}

const char* OlapSchemaRowsetName(OlapSchemaRowsetKind kind) {
    for (const RowsetInfo& rowset : kRowsets)
        if (rowset.Kind == kind) return rowset.Name;
    return "";
}

void BuildOlapSchemaRowset(OlapConnection& connection, OlapSchemaRowsetKind kind,
                           const std::string& cubeRestriction, RowStore& into) {
    switch (kind) {
        case OlapSchemaRowsetKind::Cubes:
            return BuildCubes(connection, cubeRestriction, into);
        case OlapSchemaRowsetKind::Dimensions:
            return BuildDimensions(connection, cubeRestriction, into);
        case OlapSchemaRowsetKind::Hierarchies:
            return BuildHierarchies(connection, cubeRestriction, into);
        case OlapSchemaRowsetKind::Levels:
            return BuildLevels(connection, cubeRestriction, into);
        case OlapSchemaRowsetKind::Measures:
            return BuildMeasures(connection, cubeRestriction, into);
        case OlapSchemaRowsetKind::Members:
            return BuildMembers(connection, cubeRestriction, into);
        case OlapSchemaRowsetKind::Kpis:
            return BuildKpis(connection, cubeRestriction, into);
        case OlapSchemaRowsetKind::Properties:
            break;
    }
    throw CADOException(AdoError::FeatureNotAvailable,
                        std::string(OlapSchemaRowsetName(kind)) +
                            " is not served: this OLAP catalog does not describe member "
                            "properties",
                        kSource);
}

}  // namespace orvik
