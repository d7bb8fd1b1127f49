// Display settings of one grid column of a sheet (its name and type: plain, bar, pictures),
// keyed by the cell key of the column's header cell.
#pragma once

#include <string>

#include "model/OvInfoObject.h"

class COvInfoGCols : public COvInfoObject {
  public:
    COvInfoGCols(CRegistries* registries, int group);

    void ShowProp(orvik::FrontEnd& front);

    COvInfoProp ColN, ColT;
    std::string Key;  // the header cell's key the settings belong to
};
