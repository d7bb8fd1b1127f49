#include "model/OvInfoSheet.h"

#include "model/OvInfoDS.h"
#include "model/Registries.h"

COvInfoSheet::COvInfoSheet(CRegistries* registries, int group)
    : COvInfoObject(orvik::ObjectKind::Sheet, registries),
      Name(this, group, "Name", "Name", "", 0, PropKind::Text),
      cDS(this, group, "cDS", "Data Source", "", 0, PropKind::List, ListId::DataSources),
      tpVW(this, group, "tpVW", "Output Type", "GRID", 0, PropKind::List, ListId::OutputTypes),
      bVis(this, group, "bVis", "Visible", "1", PropFlag::Boolean, PropKind::Boolean) {
    for (COvInfoProp* prop : {&Name, &cDS, &tpVW, &bVis}) AddOwn(*prop, true);
}

COvInfoSheet::~COvInfoSheet() = default;

COvInfoDS* COvInfoSheet::GetDS(const std::vector<std::unique_ptr<COvInfoDS>>& dataSources) const {
    for (const auto& ds : dataSources) {
        if (ds->Name.Value == cDS.Value) return ds.get();
    }
    return nullptr;
}

void COvInfoSheet::ShowProp(orvik::FrontEnd& front) {
    ShowPropAs(front, IsReportObject ? orvik::ObjectKind::Report : orvik::ObjectKind::Sheet);
}
