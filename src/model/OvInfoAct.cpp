#include "model/OvInfoAct.h"

#include "core/LanguageTexts.h"
#include "model/Registries.h"

COvInfoAct::COvInfoAct(int group)
    : COvInfoObject('T'),
      Name(this, group, "Name", GetText(0x401), "", 0, PropKind::Text),
      AType(this, group, "AType", GetText(0x3FE), "", 0, PropKind::List, ListId::TaskTypes) {
    for (COvInfoProp* prop : {&Name, &AType}) AddOwn(*prop, false);
}

void COvInfoAct::ShowProp() {
    ShowPropAs('T');
}
