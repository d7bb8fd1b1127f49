// "KPI": a cube's KPI list. The source only connects; the grid fill reads the list itself and the
// page shows it with its status and trend pictures.
#include "sources/ConnectedSourceKind.h"

#include "core/Run.h"

namespace orvik {
namespace {

class KpiSourceKind : public ConnectedSourceKind {
  public:
    GridFillStyle GridFill() const override { return GridFillStyle::KpiList; }
    orvik::PageStyle Page() const override { return orvik::PageStyle::KpiList; }
};

const DataSourceKindRegistration<KpiSourceKind> kKpi("KPI");

}  // namespace
}  // namespace orvik
