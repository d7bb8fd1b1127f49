#include "model/OvInfoAct.h"

#include "model/Registries.h"

COvInfoAct::COvInfoAct(CRegistries* registries, int group)
    : COvInfoObject(orvik::ObjectKind::Task, registries),
      Name(this, group, "Name", Caption(registries, 0x401), "", 0, PropKind::Text),
      AType(this, group, "AType", Caption(registries, 0x3FE), "", 0, PropKind::List,
            ListId::TaskTypes),
      SendAfterFailure(this, group, "SendAfterFailure", "Send after a failed query", "", 0,
                       PropKind::Boolean) {
    for (COvInfoProp* prop : {&Name, &AType, &SendAfterFailure}) AddOwn(*prop, false);
}

void COvInfoAct::ShowProp(orvik::FrontEnd& front) {
    ShowPropAs(front, orvik::ObjectKind::Task);
}
