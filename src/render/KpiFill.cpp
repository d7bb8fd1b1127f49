// Filling a KPI sheet. The rowset and the queries come from outside (a server's catalog): texts are
// quoted as MDX strings, an expression the KPI lacks is written as NULL, the rowset is asked for
// the data source's own cube only, and parent links that loop are cut rather than followed.
#include "render/KpiFill.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "core/Log.h"
#include "core/Run.h"
#include "data/AdoDatabase.h"
#include "data/AdoRecordset.h"
#include "data/RecordsetResult.h"
#include "model/OvInfoDS.h"
#include "render/GridBase.h"

namespace orvik {
namespace {

constexpr const char* kSource = "gridkpi";
constexpr const char* kKpiSchema = "{2AE44109-ED3D-4842-B16F-B694D1CB0E3F}";

// The grid's KPI columns.
constexpr int kPath = 0, kCaption = 1, kParent = 10, kLevel = 11;
constexpr int kHiddenColumns[] = {0, 8, 9, 10, 11};

// Schema rowset columns, by position as every server orders them.
constexpr int kRowsetCube = 2, kRowsetCaption = 5, kRowsetDescription = 6, kRowsetFolder = 7,
              kRowsetValue = 8, kRowsetGoal = 9, kRowsetStatus = 10, kRowsetTrend = 11,
              kRowsetStatusGraphic = 12, kRowsetTrendGraphic = 13, kRowsetWeight = 14,
              kRowsetParent = 16;

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\" ";
}

std::string Expression(const std::string& expression) {
    const bool blank = expression.find_first_not_of(" \t\r\n") == std::string::npos;
    return (blank ? std::string("NULL") : expression) + " ";
}

std::string Field(const CADORecordset& rows, int index) {
    if (index >= rows.GetFieldCount()) return {};
    Variant value;
    rows.GetFieldValue(index, value);
    return value.IsNull() || value.IsEmpty() ? std::string() : VariantToText(value);
}

// Cube names compare without regard to case, as the servers compare them.
bool SameCube(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        return lower(x) == lower(y);
    });
}

std::string Trimmed(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

}  // namespace

std::string KpiQuery(const KpiRow& kpi, const std::string& cube) {
    std::string cubeName;
    for (char c : cube) {
        cubeName += c;
        if (c == ']') cubeName += ']';
    }
    return "with member KPI_Name as " + Quoted(kpi.Caption) + "member KPI_Desc as " +
           Quoted(kpi.Description) + "member KPI_Path as " + Quoted(kpi.DisplayFolder) +
           "member KPI_Value as " + Expression(kpi.Value) + "member KPI_Goal as " +
           Expression(kpi.Goal) + "member KPI_Status as " + Expression(kpi.Status) +
           "member KPI_Trend as " + Expression(kpi.Trend) + "member KPI_Status_Ind as " +
           Quoted(kpi.StatusGraphic) + "member KPI_Trend_Ind as " + Quoted(kpi.TrendGraphic) +
           "member KPI_Weight as " + Quoted(kpi.Weight) + "member KPI_Parent as " +
           Quoted(kpi.Parent) + "member KPI_ParLevel as \"0\" " +
           "Select {KPI_Path, KPI_Name, KPI_Value, KPI_Goal, KPI_Status, KPI_Trend, KPI_Weight, "
           "KPI_Desc, KPI_Status_Ind, KPI_Trend_Ind, KPI_Parent, KPI_ParLevel} on Columns From [" +
           cubeName + "]";
}

void FillKpiGrid(CGridBase& grid) {
    COvInfoDS* source = grid.DataSource;
    if (!source || !grid.ForRun || !source->Connection || !source->Connection->IsOpen()) return;
    Run& run = *grid.ForRun;
    const std::string cube = Trimmed(source->Qry.Value);
    grid.DeleteAllItems();
    grid.RecordSet = nullptr;

    CADORecordset schema(source->Connection.get());
    try {
        // Only this cube's KPIs are asked for; rows of other cubes are still skipped below, for
        // servers that ignore the restriction.
        schema.OpenSchema(CADORecordset::schemaProviderSpecific, cube, kKpiSchema);
    } catch (const std::exception& error) {
        UxError(run, error, kSource, __LINE__, cube.c_str());
        return;
    }
    bool first = true;
    for (; schema.IsOpen() && !schema.IsEOF(); schema.MoveNext()) {
        if (!SameCube(Field(schema, kRowsetCube), cube)) continue;
        KpiRow kpi{Field(schema, kRowsetCaption),      Field(schema, kRowsetDescription),
                   Field(schema, kRowsetFolder),       Field(schema, kRowsetValue),
                   Field(schema, kRowsetGoal),         Field(schema, kRowsetStatus),
                   Field(schema, kRowsetTrend),        Field(schema, kRowsetStatusGraphic),
                   Field(schema, kRowsetTrendGraphic), Field(schema, kRowsetWeight),
                   Field(schema, kRowsetParent)};
        const std::string query = KpiQuery(kpi, cube);
        CADORecordset values(source->Connection.get());
        try {
            values.Open(query);
        } catch (const std::exception& error) {
            UxError(run, error, kSource, __LINE__, query.c_str());
            return;
        }
        grid.FillTable(RecordsetResult(values), first ? -1 : 1);
        first = false;
    }
    if (grid.GetColumnCount() == 0) {
        ShowMessage(run, "ColCount = 0 ?!?");
        return;
    }
    // The columns are measures of the query: "[Measures].[KPI_Name]" is left as "[KPI_Name]" by
    // the title rule, and the sheet's header reads better without the brackets.
    for (int c = 0; c < grid.GetColumnCount(); ++c) {
        const std::string_view title = grid.GetItemText(0, c);
        if (title.size() > 2 && title.front() == '[' && title.back() == ']')
            grid.SetItemText(0, c, std::string(title.substr(1, title.size() - 2)));
    }
    OrderKpiRows(grid);
    if (grid.Mode == 0) grid.ApplySheetProperties();
    grid.AutoSize();
    for (int column : kHiddenColumns)
        if (column < grid.GetColumnCount()) grid.SetColumnWidth(column, 0);
    grid.SetFocusCell(0, 0);
}

void OrderKpiRows(CGridBase& grid) {
    if (grid.GetColumnCount() <= kLevel) return;
    const int first = grid.GetFixedRowCount();
    const int rows = grid.GetRowCount();
    auto text = [&grid](int row, int column) { return std::string(grid.GetItemText(row, column)); };
    // Parents by caption, as the rows' parent column names them.
    std::map<std::string, int> byCaption;
    for (int row = first; row < rows; ++row) byCaption.emplace(text(row, kCaption), row);
    const int count = rows - first;
    std::vector<std::string> parents(static_cast<size_t>(std::max(count, 0)));
    for (int row = first; row < rows; ++row) parents[row - first] = text(row, kParent);
    for (int row = first; row < rows; ++row) {
        // The chain of ancestors, nearest first; a loop (a server may send one) ends the chain.
        std::vector<std::string> chain;
        const std::string self = text(row, kCaption);
        std::string parent = parents[row - first];
        while (!parent.empty() && parent != self &&
               std::find(chain.begin(), chain.end(), parent) == chain.end()) {
            auto found = byCaption.find(parent);
            if (found == byCaption.end()) break;
            chain.push_back(parent);
            parent = parents[found->second - first];
        }
        if (chain.empty()) continue;  // top level, or a parent the list does not hold
        std::string path;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) path += "/" + *it;
        grid.SetItemText(row, kParent, path);
        grid.SetItemText(row, kLevel, std::to_string(chain.size()));
    }
    for (int row = first; row < rows; ++row) {
        // A top-level parent's own parent column is cleared: its key is its folder and caption.
        if (parents[row - first].empty() || !byCaption.count(parents[row - first]))
            if (std::any_of(parents.begin(), parents.end(),
                            [&](const std::string& p) { return p == text(row, kCaption); }))
                grid.SetItemText(row, kParent, "");
        grid.SetItemText(row, kParent,
                         text(row, kPath) + text(row, kParent) + "/" + text(row, kCaption));
    }
    // Sort the rows by key: read every row out, order the indices, write them back.
    const int columns = grid.GetColumnCount();
    std::vector<std::vector<std::pair<std::string, bool>>> cells(static_cast<size_t>(count));
    for (int row = first; row < rows; ++row)
        for (int c = 0; c < columns; ++c)
            cells[row - first].emplace_back(text(row, c), grid.IsItemRightAligned(row, c));
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&cells](int a, int b) {
        return cells[a][kParent].first < cells[b][kParent].first;
    });
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < columns; ++c) {
            grid.SetItemText(first + i, c, cells[order[i]][c].first);
            grid.SetItemRightAligned(first + i, c, cells[order[i]][c].second);
        }
}

}  // namespace orvik
