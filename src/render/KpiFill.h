// The grid of a KPI sheet: one row per KPI of the data source's cube, read from the connection's
// KPI schema rowset and evaluated by one small MDX query per KPI, then ordered as a tree (each KPI
// under its parent, within its display folder). Works on every OLAP connection: the embedded cube
// engine and a server over XMLA answer the same rowset and the same query.
#pragma once

#include <string>

class CGridBase;

namespace orvik {

// The fields of one KPI as the schema rowset lists them.
struct KpiRow {
    std::string Caption, Description, DisplayFolder;
    std::string Value, Goal, Status, Trend;  // MDX expressions
    std::string StatusGraphic, TrendGraphic, Weight, Parent;
};

// The query that evaluates one KPI into the sheet's twelve columns (KPI_Path ... KPI_ParLevel).
// Texts become MDX strings with their quotes doubled; an expression the KPI lacks is NULL, and
// each expression is followed by a blank, so that it cannot run into the next definition.
std::string KpiQuery(const KpiRow& kpi, const std::string& cube);

// Fills `grid` from its KPI data source and applies the sheet's properties. Without an open
// connection the grid is left as it is; a failing query is reported through UxError and ends the
// fill with the rows read so far; no KPI at all shows "ColCount = 0 ?!?".
void FillKpiGrid(CGridBase& grid);

// Orders the data rows of a filled KPI grid as a tree: a child's column 10 becomes its path of
// ancestors ("/Top/Middle") and column 11 its depth, then every row is keyed by display folder,
// path and caption and the rows are sorted by that key.
void OrderKpiRows(CGridBase& grid);

}  // namespace orvik
