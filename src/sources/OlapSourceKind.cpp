// "OLAP": an MDX query whose result is a cell set, shown in the cube layout.
#include <memory>

#include "core/Log.h"
#include "data/AdoCellSet.h"
#include "data/AdoException.h"
#include "data/CellSetResult.h"
#include "model/OvInfoDS.h"
#include "params/ParamSubstitution.h"
#include "sources/ConnectedSourceKind.h"

namespace orvik {
namespace {

class OlapSourceKind : public ConnectedSourceKind {
  public:
    int Run(COvInfoDS& source) override {
        source.Result.reset();
        source.CellSet.reset();
        auto cellSet = std::make_unique<CADOMDCellSet>();
        if (!source.Qry.Value.empty()) {
            std::string query = source.Qry.Value;
            try {
                query = DSetParam(source.Qry.Value, SubstitutionTarget::Mdx);
                cellSet->Open(query,
                              DSetParam(source.DSN.Value, SubstitutionTarget::ConnectionString));
            } catch (const std::exception& error) {
                UxError(error, kDataSourceErrorSource, __LINE__, query.c_str());
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
