#include "model/OvInfoGCols.h"

#include "model/Registries.h"

COvInfoGCols::COvInfoGCols(CRegistries* registries, int group)
    : COvInfoObject(orvik::ObjectKind::GridColumns, registries),
      ColN(this, group, "ColN", "Column Name", "", 0, PropKind::Text),
      ColT(this, group, "ColT", "Column Type", "DEF", 0, PropKind::List, ListId::ColumnTypes) {
    for (COvInfoProp* prop : {&ColN, &ColT}) AddOwn(*prop, true);
}

void COvInfoGCols::ShowProp(orvik::FrontEnd& front) {
    ShowPropAs(front, orvik::ObjectKind::GridColumns);
}
