#include "model/OvInfoDS.h"

#include "core/AppContext.h"
#include "model/Registries.h"
#include "model/Report.h"

COvInfoDS::COvInfoDS(int group)
    : COvInfoObject('D'),
      Name(this, group, "Name", "Name", "", 0, PropKind::Text),
      tpDS(this, group, "tpDS", "Type", "SQL", 0, PropKind::List, ListId::DataSourceTypes),
      DSN(this, group, "DSN", "DS Connection", "", 0, PropKind::DialogText,
          DialogEditor::ConnectionString),
      Qry(this, group, "Qry", "Query", "", 0, PropKind::DialogText, DialogEditor::QueryText) {
    for (COvInfoProp* prop : {&Name, &tpDS, &DSN, &Qry})
        AddOwn(*prop, true);
}

void COvInfoDS::ShowProp() {
    if (orvik::AppContext* context = orvik::AppContext::Current()) {
        context->Report().CurrentDataSource = this;
    }
    ShowPropAs('D');
}
