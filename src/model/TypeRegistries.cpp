#include "model/TypeRegistries.h"

#include "core/Run.h"
#include "model/OvInfoSheet.h"
#include "model/Registries.h"

namespace orvik {

bool NotifyTypesOfChange(Run& run, COvInfoObject& object, COvInfoProp& prop,
                         const COvInfoSheet* activeSheet) {
    const TypeRegistries& types = run.Registries().Types;
    bool told = false;
    if (activeSheet)
        told =
            types.Views.Find(activeSheet->tpVW.Value).ActiveSheetPropertyChanged(run, object, prop);
    // An object has at most one of these.
    TypeEntry* own = nullptr;
    if (const COvInfoProp* kind = object.GetPropByName("tpDS"))
        own = types.Kinds.Lookup(kind->Value);
    else if (const COvInfoProp* view = object.GetPropByName("tpVW"))
        own = types.Views.Lookup(view->Value);
    else if (const COvInfoProp* step = object.GetPropByName("AType"))
        own = types.Steps.Lookup(step->Value);
    if (own && own->PropertyChanged(run, object, prop)) told = true;
    return told;
}

}  // namespace orvik
