// "OLAP": an MDX query whose result is a cell set, shown in the cube layout. Before the query runs
// the source's catalog tree is built (once per connection and cube) and, when the source takes
// its query from the builder, the query is made from the selection: a batch run gets the same
// query the designer would.
#include <memory>

#include "core/Log.h"
#include "core/Run.h"
#include "core/StopRequest.h"
#include "data/AdoCellSet.h"
#include "data/AdoException.h"
#include "data/CellSetResult.h"
#include "data/ConnectionString.h"
#include "model/OvInfoDS.h"
#include "model/Registries.h"
#include "olap/OlapConnection.h"
#include "params/ParamSubstitution.h"
#include "sources/CatalogTree.h"
#include "sources/ConnectedSourceKind.h"

namespace orvik {
namespace {

// Builds the catalog tree of `source` unless it was built for this connection and cube already.
// False when the builder needs the catalog and it could not be read.
bool PrepareCatalog(Run& run, COvInfoDS& source, const std::string& connection) {
    const bool builder = UsesQueryBuilder(source);
    // A typed query on a provider without a catalog has nothing to browse; opening the cell set
    // says what is wrong. A builder query cannot even be made, which is said below.
    if (!builder && !IsOlapConnectionString(connection)) return true;
    CatalogTree& tree = IniTreeBar(run, source);
    if (tree.IsBuiltFor(connection)) return true;
    try {
        // Elements restored here need no second run of the source: its query is made and run
        // right after this.
        const std::shared_ptr<OlapConnection> olap =
            OpenOlapConnection(connection, run.ProgramFolder());
        tree.Build(olap, connection);
        for (const std::string& warning : olap->TakeWarnings())
            UxSaveLog(run, warning, __FILE__, __LINE__);
        return true;
    } catch (const std::exception& error) {
        const std::string shown = MaskConnectionSecrets(connection);
        if (builder) {
            ReportSourceError(run, source, error, __LINE__, shown);
            return false;
        }
        // A typed query does not need the catalog; the tree just stays empty.
        UxSaveLog(run,
                  "The OLAP catalog of '" + source.Name.Value + "' could not be read (" + shown +
                      "): " + error.what(),
                  __FILE__, __LINE__);
        return true;
    }
}

class OlapSourceKind : public ConnectedSourceKind {
  public:
    int Connect(orvik::Run& run, COvInfoDS& source, bool runQuery) override {
        // A new connection may see another catalog.
        if (CatalogTree* tree = TreeBarOf(source)) tree->Invalidate();
        return ConnectedSourceKind::Connect(run, source, runQuery);
    }

    int Run(orvik::Run& run, COvInfoDS& source) override {
        source.Result.reset();
        source.CellSet.reset();
        auto cellSet = std::make_unique<CADOMDCellSet>();
        std::string connection;
        try {
            connection = DSetParam(run, source.DSN.Value, SubstitutionTarget::ConnectionString);
        } catch (const std::exception& error) {
            ReportSourceError(run, source, error, __LINE__,
                              MaskConnectionSecrets(source.DSN.Value));
            return 0;
        }
        if (!PrepareCatalog(run, source, connection)) return 0;
        const std::string text = IniTreeBar(run, source).Builder().QueryText();
        if (!text.empty()) {
            std::string query = text;
            try {
                query = DSetParam(run, text, SubstitutionTarget::Mdx);
                // The cube engine's own SQL runs under the same limit.
                const TimeLimitScope limit(QueryTimeoutSeconds(run), kQueryTimeoutSetting);
                cellSet->Open(query, connection, run.ProgramFolder());
                for (const std::string& warning : cellSet->Warnings())
                    UxSaveLog(run, warning, __FILE__, __LINE__);
                if (run.Registries().SettingValue(kCubeDebugLogSetting) == "1")
                    for (const std::string& note : cellSet->Notes())
                        UxSaveLog(run, note, __FILE__, __LINE__);
            } catch (const std::exception& error) {
                ReportSourceError(run, source, error, __LINE__, query);
                return 0;
            }
        }
        source.CellSet = std::move(cellSet);
        source.Result = std::make_unique<CellSetResult>(*source.CellSet);
        return 1;
    }

    Variant ValueWithoutResult() const override { return Variant::MakeI4(0); }
    GridFillStyle GridFill() const override { return GridFillStyle::CellSet; }
    orvik::PageStyle Page() const override { return orvik::PageStyle::Table; }
};

const DataSourceKindRegistration<OlapSourceKind> kOlap("OLAP");

}  // namespace
}  // namespace orvik
