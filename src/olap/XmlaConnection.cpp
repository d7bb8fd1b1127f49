// The catalog is read from the server's schema rowsets by column name, never by position:
// servers add columns of their own and do not all keep the standard order. What a rowset lacks
// (a caption, a level type) falls back to what the embedded engine would say.
#include "olap/XmlaConnection.h"

#include <algorithm>
#include <utility>

#include "data/AdoException.h"
#include "olap/NameCase.h"
#include "olap/OlapSchemaRowsets.h"

namespace orvik {
namespace {

// Reads a rowset's cells by column name.
class RowsetView {
  public:
    explicit RowsetView(const RowStore& rows) : rows_(rows) {}
    size_t Count() const { return rows_.RowCount(); }
    bool Has(std::string_view column) const { return Column(column) >= 0; }
    std::string Text(size_t row, std::string_view column) const {
        const int at = Column(column);
        if (at < 0) return {};
        const Variant value = rows_.Get(row, static_cast<size_t>(at));
        return value.Type() == VariantType::String ? value.AsString() : VariantToText(value);
    }
    int64_t Number(size_t row, std::string_view column, int64_t fallback = 0) const {
        const int at = Column(column);
        if (at < 0) return fallback;
        const Variant value = rows_.Get(row, static_cast<size_t>(at));
        return value.IsNull() || value.IsEmpty() ? fallback : value.AsInt64();
    }
    bool Flag(size_t row, std::string_view column, bool fallback) const {
        const int at = Column(column);
        if (at < 0) return fallback;
        const Variant value = rows_.Get(row, static_cast<size_t>(at));
        if (value.IsNull() || value.IsEmpty()) return fallback;
        return value.Type() == VariantType::String ? value.AsString() == "true"
                                                   : value.AsInt64() != 0;
    }

  private:
    int Column(std::string_view name) const {
        const auto& fields = rows_.Fields();
        for (size_t i = 0; i < fields.size(); ++i)
            if (fields[i].Name == name) return static_cast<int>(i);
        return -1;
    }
    const RowStore& rows_;
};

// OLE DB's MEASURE_AGGREGATOR codes, as the embedded engine names the aggregators.
std::string AggregatorName(int64_t code) {
    static const std::pair<int64_t, const char*> names[] = {
        {1, "sum"}, {2, "count"},          {3, "min"},          {4, "max"},
        {5, "avg"}, {8, "distinct-count"}, {127, "calculated"},
    };
    for (const auto& [known, name] : names)
        if (known == code) return name;
    return {};
}

constexpr int kDimensionTime = 1;
constexpr int kDimensionMeasure = 2;
constexpr int kCubeSourceDimension = 2;
constexpr int kLevelAll = 0x0001;

std::string Or(std::string text, const std::string& fallback) {
    return text.empty() ? fallback : text;
}

}  // namespace

XmlaConnection::XmlaConnection(const std::string& connectionString) : client_(connectionString) {}

std::vector<std::string> XmlaConnection::CubeNames() {
    {
        std::lock_guard guard(lock_);
        if (cubeNames_) return *cubeNames_;
    }
    RowStore rows;
    Warn(client_.Discover("MDSCHEMA_CUBES", {}, rows).Warnings);
    const RowsetView view(rows);
    std::vector<std::string> names;
    for (size_t r = 0; r < view.Count(); ++r) {
        // Dimensions a server offers as cubes of their own are not cubes a report queries.
        if (view.Number(r, "CUBE_SOURCE", 1) == kCubeSourceDimension) continue;
        if (std::string name = view.Text(r, "CUBE_NAME"); !name.empty())
            names.push_back(std::move(name));
    }
    std::lock_guard guard(lock_);
    cubeNames_ = names;
    return names;
}

OlapCube XmlaConnection::Cube(const std::string& name) {
    {
        std::lock_guard guard(lock_);
        if (auto found = cubes_.find(LowerAscii(name)); found != cubes_.end()) return found->second;
    }
    const std::vector<std::string> names = CubeNames();
    const auto known = std::find_if(names.begin(), names.end(),
                                    [&](const std::string& cube) { return SameName(cube, name); });
    if (known == names.end())
        throw CADOException(
            AdoError::Failure,
            "The OLAP server at " + client_.ShownUrl() + " has no cube '" + name + "'" +
                (client_.Catalog().empty() ? "" : " in catalog '" + client_.Catalog() + "'"),
            "XMLA");
    OlapCube cube;
    cube.Name = *known;
    const xmla::Restrictions restriction = {{"CUBE_NAME", cube.Name}};
    RowStore measures, dimensions, hierarchies, levels;
    Warn(client_.Discover("MDSCHEMA_MEASURES", restriction, measures).Warnings);
    Warn(client_.Discover("MDSCHEMA_DIMENSIONS", restriction, dimensions).Warnings);
    Warn(client_.Discover("MDSCHEMA_HIERARCHIES", restriction, hierarchies).Warnings);
    Warn(client_.Discover("MDSCHEMA_LEVELS", restriction, levels).Warnings);

    const RowsetView m(measures), d(dimensions), h(hierarchies), l(levels);
    // A server that ignores the restriction must not mix other cubes' parts (or the shared
    // dimensions it lists under no cube) into this one.
    const auto other = [&](const RowsetView& view, size_t row) {
        return view.Has("CUBE_NAME") && !SameName(view.Text(row, "CUBE_NAME"), cube.Name);
    };
    for (size_t r = 0; r < m.Count(); ++r) {
        if (other(m, r)) continue;
        OlapMeasure measure;
        measure.Name = m.Text(r, "MEASURE_NAME");
        measure.UniqueName = m.Text(r, "MEASURE_UNIQUE_NAME");
        measure.Caption = Or(m.Text(r, "MEASURE_CAPTION"), measure.Name);
        measure.Aggregator = AggregatorName(m.Number(r, "MEASURE_AGGREGATOR"));
        measure.FormatString = m.Text(r, "DEFAULT_FORMAT_STRING");
        measure.Visible = m.Flag(r, "MEASURE_IS_VISIBLE", true);
        cube.Measures.push_back(std::move(measure));
    }
    for (size_t r = 0; r < d.Count(); ++r) {
        const int64_t type = d.Number(r, "DIMENSION_TYPE");
        if (type == kDimensionMeasure || other(d, r)) continue;
        OlapDimension dimension;
        dimension.Name = d.Text(r, "DIMENSION_NAME");
        dimension.UniqueName = d.Text(r, "DIMENSION_UNIQUE_NAME");
        dimension.Caption = Or(d.Text(r, "DIMENSION_CAPTION"), dimension.Name);
        dimension.IsTime = type == kDimensionTime;
        for (size_t hr = 0; hr < h.Count(); ++hr) {
            if (h.Text(hr, "DIMENSION_UNIQUE_NAME") != dimension.UniqueName || other(h, hr))
                continue;
            OlapHierarchy hierarchy;
            hierarchy.Name = h.Text(hr, "HIERARCHY_NAME");
            hierarchy.UniqueName = h.Text(hr, "HIERARCHY_UNIQUE_NAME");
            hierarchy.Caption = Or(h.Text(hr, "HIERARCHY_CAPTION"), hierarchy.Name);
            hierarchy.DefaultMember = h.Text(hr, "DEFAULT_MEMBER");
            hierarchy.HasAll = !h.Text(hr, "ALL_MEMBER").empty();
            for (size_t lr = 0; lr < l.Count(); ++lr) {
                if (l.Text(lr, "HIERARCHY_UNIQUE_NAME") != hierarchy.UniqueName || other(l, lr))
                    continue;
                OlapLevel level;
                level.Name = l.Text(lr, "LEVEL_NAME");
                level.UniqueName = l.Text(lr, "LEVEL_UNIQUE_NAME");
                level.Caption = Or(l.Text(lr, "LEVEL_CAPTION"), level.Name);
                level.Number = static_cast<int>(l.Number(lr, "LEVEL_NUMBER"));
                level.IsAll = (l.Number(lr, "LEVEL_TYPE") & kLevelAll) != 0;
                hierarchy.Levels.push_back(std::move(level));
            }
            std::stable_sort(
                hierarchy.Levels.begin(), hierarchy.Levels.end(),
                [](const OlapLevel& a, const OlapLevel& b) { return a.Number < b.Number; });
            if (!hierarchy.Levels.empty() && !hierarchy.HasAll)
                hierarchy.HasAll = hierarchy.Levels[0].IsAll;
            dimension.Hierarchies.push_back(std::move(hierarchy));
        }
        cube.Dimensions.push_back(std::move(dimension));
    }
    std::lock_guard guard(lock_);
    cubes_[LowerAscii(name)] = cube;
    return cube;
}

std::vector<CellSetMember> XmlaConnection::Members(xmla::Restrictions restrictions) {
    RowStore rows;
    Warn(client_.Discover("MDSCHEMA_MEMBERS", std::move(restrictions), rows).Warnings);
    const RowsetView view(rows);
    std::vector<CellSetMember> members;
    members.reserve(view.Count());
    for (size_t r = 0; r < view.Count(); ++r) {
        CellSetMember member;
        member.UniqueName = view.Text(r, "MEMBER_UNIQUE_NAME");
        member.Name = view.Text(r, "MEMBER_NAME");
        member.Caption = Or(view.Text(r, "MEMBER_CAPTION"), member.Name);
        member.LevelUniqueName = view.Text(r, "LEVEL_UNIQUE_NAME");
        member.LevelNumber = static_cast<int>(view.Number(r, "LEVEL_NUMBER"));
        member.ParentUniqueName = view.Text(r, "PARENT_UNIQUE_NAME");
        members.push_back(std::move(member));
    }
    return members;
}

std::vector<CellSetMember> XmlaConnection::LevelMembers(const std::string& cube,
                                                        const std::string& levelUniqueName) {
    return Members({{"CUBE_NAME", cube}, {"LEVEL_UNIQUE_NAME", levelUniqueName}});
}

std::vector<CellSetMember> XmlaConnection::ChildMembers(const std::string& cube,
                                                        const std::string& memberUniqueName) {
    // TREE_OP 1: the member's children only.
    return Members(
        {{"CUBE_NAME", cube}, {"MEMBER_UNIQUE_NAME", memberUniqueName}, {"TREE_OP", "1"}});
}

CellSetData XmlaConnection::Execute(const std::string& mdx) {
    // The server's warnings are handed over with the connection's own, as the engine's are.
    CellSetData data = client_.Execute(mdx);
    Warn(std::exchange(data.Warnings, {}));
    return data;
}

void XmlaConnection::ExecuteRows(const std::string& mdx, RowStore& into) {
    Warn(client_.ExecuteTabular(mdx, into).Warnings);
}

void XmlaConnection::Warn(std::vector<std::string> warnings) {
    if (warnings.empty()) return;
    std::lock_guard guard(lock_);
    for (std::string& warning : warnings) warnings_.push_back(std::move(warning));
}

std::vector<std::string> XmlaConnection::TakeWarnings() {
    std::lock_guard guard(lock_);
    return std::exchange(warnings_, {});
}

void XmlaConnection::SchemaRowset(const std::string& schemaId, const std::string& cubeRestriction,
                                  RowStore& into) {
    const OlapSchemaRowsetKind kind = FindOlapSchemaRowset(schemaId);
    xmla::Restrictions restrictions;
    if (!cubeRestriction.empty()) restrictions.emplace_back("CUBE_NAME", cubeRestriction);
    try {
        Warn(client_
                 .Discover(OlapSchemaRowsetName(kind), std::move(restrictions), into,
                           OlapSchemaRowsetFields(kind))
                 .Warnings);
    } catch (const xmla::XmlaFault& fault) {
        if (kind != OlapSchemaRowsetKind::Kpis) throw;
        // Servers older than KPIs refuse the rowset: no KPIs, as in a catalog that has none.
        into.SetFields(OlapSchemaRowsetFields(kind));
        Warn({"The OLAP server lists no KPIs: " + std::string(fault.what())});
    }
}

namespace {

const struct XmlaProviderRegistration {
    XmlaProviderRegistration() {
        RegisterOlapProvider(
            {"MSOLAP", "XMLA"},
            "MSOLAP and XMLA (OLAP server over HTTP: Data Source=http(s)://.../xmla, "
            "Initial Catalog=...)",
            [](const std::string& connectionString, const std::string&) {
                return std::make_shared<XmlaConnection>(connectionString);
            });
    }
} kRegistration;

}  // namespace

}  // namespace orvik
