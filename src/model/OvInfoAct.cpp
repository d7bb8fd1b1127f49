#include "model/OvInfoAct.h"

#include "core/LanguageTexts.h"
#include "model/Registries.h"

COvInfoAct::COvInfoAct(int group)
    : COvInfoObject('T'),
      Name(this, group, "Name", GetText(0x401), "", 0, PropKind::Text),
      AType(this, group, "AType", GetText(0x3FE), "", 0, PropKind::List, ListId::TaskTypes),
      SendAfterFailure(this, group, "SendAfterFailure", "Send after a failed query", "", 0,
                       PropKind::Boolean) {
    for (COvInfoProp* prop : {&Name, &AType, &SendAfterFailure}) AddOwn(*prop, false);
}

void COvInfoAct::ShowProp() {
    ShowPropAs('T');
}
