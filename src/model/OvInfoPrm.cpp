#include "model/OvInfoPrm.h"

#include "model/Registries.h"

COvInfoPrm::COvInfoPrm(CRegistries* registries, int group)
    : COvInfoObject(orvik::ObjectKind::Parameter, registries),
      Name(this, group, "Name", Caption(registries, 0x401), "", 0, PropKind::Text),
      Type(this, group, "Type", Caption(registries, 0x3FE), "str", 0, PropKind::List,
           ListId::ParameterTypes),
      PrmVal(this, group, "PrmVal", Caption(registries, 0x402), "", 0, PropKind::Text),
      Tit(this, group, "Tit", Caption(registries, 0x535), "", 0, PropKind::Text),
      bVis(this, group, "bVis", "Visible", "1", PropFlag::Boolean, PropKind::Boolean),
      LayoutGroup(-1) {
    // Captions here are language texts fetched now, so these stay off the live list.
    for (COvInfoProp* prop : {&Name, &Type, &PrmVal, &Tit, &bVis}) AddOwn(*prop, false);

    if (!registries) return;
    CRegistries& r = *registries;
    LayoutGroup = r.AddPropGrpsInfo("Param Layout");
    const int index = r.CurrentPlugInIndex();
    Props.push_back(r.AddProp(this, LayoutGroup, "pTB", "Border", "0", PropFlag::Boolean,
                              PropKind::Boolean, 0, nullptr, index));
    Props.push_back(r.AddProp(this, LayoutGroup, "pGC", "Gradint Color", "1", PropFlag::Boolean,
                              PropKind::Boolean, 0, nullptr, index));
    Props.push_back(r.AddProp(this, LayoutGroup, "pBC1", "Name BG Color", "128,128,128", 0,
                              PropKind::Colour, 0, nullptr, index));
    Props.push_back(r.AddProp(this, LayoutGroup, "pBC2", "Value BG Color", "192,192,192", 0,
                              PropKind::Colour, 0, nullptr, index));
    Props.push_back(r.AddProp(this, LayoutGroup, "pF", "Font", "Arial,100", 0, PropKind::Font, 0,
                              nullptr, index));
    for (size_t i = 5; i < Props.size(); ++i) StartAtDefault(*Props[i]);
}

void COvInfoPrm::ShowProp(orvik::FrontEnd& front) {
    ShowPropAs(front, orvik::ObjectKind::Parameter);
}
