// One entry of a value list: the stored key of a list-valued property and the caption the
// property bar shows for it. Entries of every list live in one registry, told apart by Id.
#pragma once

#include <string>

class COvCombos {
  public:
    // `caption` empty means `name`.
    COvCombos(int id, std::string name, std::string caption, int plugInIndex)
        : Id(id),
          PlugInIndex(plugInIndex),
          Name(std::move(name)),
          Caption(caption.empty() ? Name : std::move(caption)),
          BaseCaption(Caption) {}

    int Id;           // the list the entry belongs to
    int PlugInIndex;  // the plug-in that added it, -1 for the program's own
    std::string Name;
    std::string Caption;
    std::string BaseCaption;
};
