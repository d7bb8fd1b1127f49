#include "model/ViewType.h"

#include <stdexcept>

namespace orvik {

ViewTypeRegistry& ViewTypeRegistry::Builtin() {
    static ViewTypeRegistry registry;
    return registry;
}

ViewType& ViewTypeRegistry::Find(std::string_view name) const {
    if (ViewType* type = Lookup(name)) return *type;
    // The grid registers itself as the fallback; a program without it is not built.
    if (!fallback_) throw std::logic_error("no view type stands for unregistered names");
    return *fallback_;
}

}  // namespace orvik
