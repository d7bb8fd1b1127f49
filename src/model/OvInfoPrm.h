// A parameter: a named value substituted into queries and texts, shown in the page's parameter
// panel with its own layout (border, colours, font).
#pragma once

#include <string>

#include "model/OvInfoObject.h"

class COvInfoPrm : public COvInfoObject {
  public:
    COvInfoPrm(CRegistries* registries, int group);

    void ShowProp(orvik::FrontEnd& front);

    COvInfoProp Name, Type, PrmVal, Tit, bVis;
    int LayoutGroup;  // the parameter's own "Param Layout" property group
};
