// What an edit in the property bar means for the rest of the report. The bar writes the new value
// into the property and then calls this, which renames tabs and explorer items, swaps the
// properties a list value brings in, re-runs data sources, rebuilds the page and marks the report
// modified, in that order, talking to the windows only through the front end.
#pragma once

#include <string>
#include <vector>

#include "core/ObjectKind.h"

namespace orvik {
class Run;
}

class CReport;
class COvInfoObject;
class COvInfoProp;

namespace orvik::design {

// What is shown in the property bar: what kind of thing, and the object (null for the program
// settings).
struct ShownProperties {
    ObjectKind Kind = ObjectKind::Settings;
    COvInfoObject* Object = nullptr;
};

// Carries out the consequences of `prop` (already holding its new value) having had `oldValue`.
// Returns true when the property list of the shown object changed (or a value was put back), so
// the bar must refill. A name that is empty or already taken among the object's kind is refused
// (the kind's message for a taken one) and `oldValue` put back. Never throws: a failing query or
// connection is reported through UxError.
bool OnPropertyChanged(orvik::Run& run, const ShownProperties& shown, COvInfoProp& prop,
                       const std::string& oldValue);

}  // namespace orvik::design
