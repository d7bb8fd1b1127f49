// Cut, Copy and Paste of the report's objects in the designer. Copying takes a snapshot of an
// object's stored values (a task with its steps), so a cut object can still be pasted after it is
// gone; pasting adds a new object of the same kind under a name of its own and gives it the values
// the way an edit in the property bar would, so everything a value brings in (a list type's own
// properties) comes with it.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "design/ExplorerModel.h"

class COvInfoObject;

namespace orvik {
class Run;
}

namespace orvik::design {

struct ObjectSnapshot {
    ExplorerRoot Root = ExplorerRoot::Page;
    std::vector<std::pair<std::string, std::string>> Values;  // stored, in property order
    std::vector<std::vector<std::pair<std::string, std::string>>> Steps;  // of a task
};

// The snapshot of `object`, a data source, sheet, parameter or top-level task of the run's
// report; nullopt for anything else (a step, the report object, a settings entry).
std::optional<ObjectSnapshot> SnapshotOf(Run& run, const COvInfoObject& object);

// Adds a copy of `snapshot` to the run's report; the new object, or null when it could not be
// added.
COvInfoObject* PasteSnapshot(Run& run, const ObjectSnapshot& snapshot);

}  // namespace orvik::design
