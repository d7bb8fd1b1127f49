// A data source: a query against a database (SQL), an OLAP cube (OLAP) or a cube's KPI list (KPI),
// with its connection string. Sheets and list parameters refer to it by name. It opens its
// connection and result on demand through its kind (model/DataSourceKind.h) and serves the result
// as a table: rows counted from 1, columns from 0, row-header columns first. Failures come back as
// 0 or empty and are reported through UxError, so a report keeps running past one broken source.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "data/ResultTable.h"
#include "data/Variant.h"
#include "model/OvInfoObject.h"

class CADODatabase;
class CADORecordset;
class CADOMDCellSet;

class CReport;

namespace orvik {
class DataSourceKind;
class DataSourceKindState;
class Run;
}  // namespace orvik

// The name data-source errors are reported under in the log, as report authors know it.
inline constexpr const char* kDataSourceErrorSource = "ovinfods";

class COvInfoDS : public COvInfoObject {
  public:
    COvInfoDS(CRegistries* registries, int group);
    ~COvInfoDS();

    // Shows the source's properties and makes it the report's current source.
    void ShowProp(orvik::FrontEnd& front, CReport& report);

    // Connects with the substituted connection string (a plug-in's type goes to its plug-in and
    // returns its result). 1 on success, 0 on failure (reported through UxError; an empty
    // connection string fails silently). With `bOpenRS`, also runs the query and returns that.
    int OpenConnectDS(orvik::Run& run, bool bOpenRS);
    // Runs the substituted query on the open connection: SQL statements split at ";" (except at
    // the very start) run in turn and the last one's result is kept. 1 / 0.
    int OpenRSDS(orvik::Run& run);

    // The number of result rows (0 without a result).
    int GetDSRowCount(orvik::Run& run);
    // The number of result columns, row-header columns included (0 without a result).
    int GetDSColCount();
    // The number of row-header columns: SQL 1, OLAP the hierarchies on rows, other types 0.
    int GetDSCol2Count();
    // The cleaned header text of column `col`; "" when there is none.
    std::string GetDSHeader(int col);
    // The raw value at (`row` from 1, `col` from 0); the integer 0 without a result or on error.
    Variant GetDSvarRC(orvik::Run& run, int row, int col);
    // The display text of that value (VariantToText, then cleaned).
    std::string GetDSTextRC(orvik::Run& run, int row, int col);

    // The kind this source's type names.
    orvik::DataSourceKind& Kind() const;
    // Drops the result and the connection (results go before the connection they came from).
    void Disconnect();

    COvInfoProp Name, tpDS, DSN, Qry;

    std::unique_ptr<CADODatabase> Connection;  // null while disconnected
    std::unique_ptr<CADORecordset> RecordSet;  // the SQL result; null when none
    std::unique_ptr<CADOMDCellSet> CellSet;    // the OLAP result; null when none
    // The current result as a table, over RecordSet, CellSet or a kind's own; null when none.
    std::unique_ptr<orvik::ResultTable> Result;
    // What the source's kind keeps between runs (an OLAP source's catalog tree and query
    // builder); it outlives reconnecting and dies with the source.
    std::unique_ptr<orvik::DataSourceKindState> KindState;
};

// Editor routines of the dialog-edited texts (kept in ComboId).
namespace DialogEditor {
constexpr unsigned ConnectionString = 1;
constexpr unsigned QueryText = 2;
}  // namespace DialogEditor
