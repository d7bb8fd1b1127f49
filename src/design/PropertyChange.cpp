// Skeleton: filled in by the property work that follows.
#include "design/PropertyChange.h"

namespace orvik::design {

bool OnPropertyChanged(CReport&, const ShownProperties&, COvInfoProp&, const std::string&) {
    return false;
}

}  // namespace orvik::design
