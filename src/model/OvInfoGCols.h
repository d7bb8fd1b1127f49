// Display settings of one grid column of a sheet (its name and type: plain, bar, pictures),
// keyed by the cell key of the column's header cell.
#pragma once

#include <string>

#include "model/OvInfoObject.h"

class COvInfoGCols : public COvInfoObject {
  public:
    explicit COvInfoGCols(int group);

    void ShowProp();

    COvInfoProp ColN, ColT;
    std::string Key;  // the header cell's key the settings belong to
};
