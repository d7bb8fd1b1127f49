// A property group: the heading under which the property bar shows a property.
#pragma once

#include <string>

class COvInfoPropGrps {
  public:
    explicit COvInfoPropGrps(std::string caption)
        : Caption(std::move(caption)), BaseCaption(Caption) {}

    int Id = 0;  // the group's index in the group registry
    std::string Caption;
    std::string BaseCaption;
    int State = -1;  // the property bar's expanded/collapsed memory
};
