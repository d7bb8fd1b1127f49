// The view types a sheet can show its result in ("GRID", and those plug-ins bring), each one
// class registered by name. Making a sheet's view asks the registry instead of telling the grid
// from the rest, and a name nobody registered shows as a grid, as it always has.
#pragma once

#include <memory>
#include <string_view>

#include "core/NamedRegistry.h"
#include "model/TypeEntry.h"

class CGridView;
class COvInfoSheet;

namespace orvik {

class Run;

class ViewType : public SheetRenderer {
  public:
    // Makes the view of `sheet` (its OwnedView), from the data source's current result. Returns
    // the grid when the view is one, else null.
    virtual CGridView* MakeView(Run& run, COvInfoSheet& sheet) = 0;
    // A property of `object` changed while a sheet of this view type was the active one.
    virtual bool ActiveSheetPropertyChanged(Run& /*run*/, COvInfoObject& /*object*/,
                                            COvInfoProp& /*prop*/) {
        return false;
    }
};

class ViewTypeRegistry : public NamedRegistry<ViewType> {
  public:
    // The view types built into the program, each registered by its own file.
    static ViewTypeRegistry& Builtin();

    // The view type named `name`, or the fallback (the grid) for a name nobody registered.
    ViewType& Find(std::string_view name) const;
    void SetFallback(std::shared_ptr<ViewType> type) { fallback_ = std::move(type); }

  private:
    std::shared_ptr<ViewType> fallback_;
};

// Registers a built-in view type when the program starts: one line at the end of its file.
template <typename Type>
struct ViewTypeRegistration {
    explicit ViewTypeRegistration(std::string_view name, bool fallback = false) {
        auto type = std::make_shared<Type>();
        if (fallback) ViewTypeRegistry::Builtin().SetFallback(type);
        ViewTypeRegistry::Builtin().Register(name, std::move(type));
    }
};

}  // namespace orvik
