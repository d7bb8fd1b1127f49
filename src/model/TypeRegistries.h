// The types one program knows, by extension point: data-source kinds, view types and step types.
// Each starts as a copy of the built-in registry; loading a plug-in adds an entry for each type it
// brings, so whoever runs a type looks it up here and never asks who brought it.
#pragma once

#include "model/DataSourceKind.h"
#include "model/TaskStep.h"
#include "model/ViewType.h"

class COvInfoObject;
class COvInfoProp;
class COvInfoSheet;

namespace orvik {

class Run;

struct TypeRegistries {
    DataSourceKindRegistry Kinds = DataSourceKindRegistry::Builtin();
    ViewTypeRegistry Views = ViewTypeRegistry::Builtin();
    TaskStepRegistry Steps = TaskStepRegistry::Builtin();
};

// Tells the types concerned that `prop` of `object` changed in the designer: the view type of the
// active sheet `activeSheet` (may be null), and the object's own type (a data source's kind, a
// sheet's view type, a step's type). True when any was told.
bool NotifyTypesOfChange(Run& run, COvInfoObject& object, COvInfoProp& prop,
                         const COvInfoSheet* activeSheet);

}  // namespace orvik
