#include "model/OvInfoGCols.h"

#include "model/Registries.h"

COvInfoGCols::COvInfoGCols(int group)
    : COvInfoObject('C'),
      ColN(this, group, "ColN", "Column Name", "", 0, PropKind::Text),
      ColT(this, group, "ColT", "Column Type", "DEF", 0, PropKind::List, ListId::ColumnTypes) {
    for (COvInfoProp* prop : {&ColN, &ColT}) AddOwn(*prop, true);
}

void COvInfoGCols::ShowProp() {
    ShowPropAs('C');
}
