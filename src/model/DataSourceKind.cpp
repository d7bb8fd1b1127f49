#include "model/DataSourceKind.h"

namespace orvik {
namespace {

// What a source whose kind nobody registered does: nothing. It neither connects nor runs.
class UnknownSourceKind : public DataSourceKind {
  public:
    int Connect(orvik::Run&, COvInfoDS&, bool) override { return 0; }
    int Run(orvik::Run&, COvInfoDS&) override { return 1; }
};

}  // namespace

DataSourceKindRegistry& DataSourceKindRegistry::Builtin() {
    static DataSourceKindRegistry registry;
    return registry;
}

DataSourceKind& DataSourceKindRegistry::Find(std::string_view name) const {
    if (DataSourceKind* kind = Lookup(name)) return *kind;
    return Fallback();
}

DataSourceKind& DataSourceKindRegistry::Fallback() const {
    if (fallback_) return *fallback_;
    static UnknownSourceKind unknown;
    return unknown;
}

}  // namespace orvik
