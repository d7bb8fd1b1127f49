// A parameter: a named value substituted into queries and texts, shown in the page's parameter
// panel with its own layout (border, colours, font).
#pragma once

#include "model/OvInfoObject.h"

class COvInfoPrm : public COvInfoObject {
  public:
    explicit COvInfoPrm(int group);

    void ShowProp();

    COvInfoProp Name, Type, PrmVal, Tit, bVis;
    int LayoutGroup;  // the parameter's own "Param Layout" property group
};
