// The kinds of data source ("SQL", "OLAP", "KPI", and whatever comes next), each one class that
// says how a source of its kind connects, how it runs its query into a result table and how that
// result is shown. The kinds are registered by name in one place; the data source, the grid fill
// and the page ask the registry instead of comparing type names. A kind that needs nothing
// beyond a table result is one new file with its registration line (DataSourceKindRegistration).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/NamedRegistry.h"
#include "data/Variant.h"
#include "model/TypeEntry.h"

class COvInfoDS;

namespace orvik {

class Run;

// How a grid shows a kind's result.
enum class GridFillStyle {
    Table,    // the result table as it is: a header row, one grid row per result row
    CellSet,  // the cube layout: header rows for the column members, row-header columns
    KpiList,  // the KPI list with its status and trend pictures
};

// How the page shows a sheet of the kind.
enum class PageStyle {
    None,     // the sheet has no table on the page
    Table,    // the grid as a table
    KpiList,  // the grid as a KPI list
};

class DataSourceKind : public SheetRenderer {
  public:
    // Connects `source` with its connection string (parameters substituted) and, with
    // `runQuery`, runs its query. 1 on success, 0 on failure (reported through UxError).
    virtual int Connect(orvik::Run& run, COvInfoDS& source, bool runQuery) = 0;
    // Runs the source's query on its open connection, leaving the result in source.Result (or
    // none). 1 / 0.
    virtual int Run(orvik::Run& run, COvInfoDS& source) = 0;

    // The row-header columns a source of this kind reports before it has a result.
    virtual int RowHeaderColumnsWithoutResult() const { return 0; }
    // What a source of this kind reads as while it has no result.
    virtual Variant ValueWithoutResult() const { return Variant(); }

    virtual GridFillStyle GridFill() const { return GridFillStyle::Table; }
    virtual orvik::PageStyle Page() const { return orvik::PageStyle::None; }
};

// The base of what a kind keeps with each of its sources (COvInfoDS::KindState).
class DataSourceKindState {
  public:
    virtual ~DataSourceKindState() = default;
};

class DataSourceKindRegistry : public NamedRegistry<DataSourceKind> {
  public:
    // The kinds built into the program, each registered by its own file.
    static DataSourceKindRegistry& Builtin();

    // The kind named `name`, or the fallback kind for a name nobody registered (a source that
    // only connects; its query is some other part's business).
    DataSourceKind& Find(std::string_view name) const;
    // Sets the kind Find gives for unregistered names.
    void SetFallback(std::shared_ptr<DataSourceKind> kind) { fallback_ = std::move(kind); }
    // What a name nobody registered gets.
    DataSourceKind& Fallback() const;

  private:
    std::shared_ptr<DataSourceKind> fallback_;
};

// Registers a built-in kind when the program starts: one line at the end of the kind's file,
// `static const orvik::DataSourceKindRegistration<SqlSourceKind> kSql("SQL");`.
template <typename Kind>
struct DataSourceKindRegistration {
    explicit DataSourceKindRegistration(std::string_view name) {
        DataSourceKindRegistry::Builtin().Register(name, std::make_unique<Kind>());
    }
};

}  // namespace orvik
