// Taking report objects (and properties) out of a report without leaving anything pointing at
// them. Report objects are tied together by pointers that outlive a careless delete: a reference
// parameter shows another object's property in its place, a shown property remembers who shows
// it, list entries are selected by pointer, appended properties live in the registries, and the
// grids keep the results of their data sources. Everything that removes objects or properties
// from an open report goes through here.
#pragma once

namespace orvik {
class Run;
}

#include <unordered_set>
#include <vector>

class CReport;
class COvInfoObject;
class COvInfoProp;

namespace orvik::design {

// Every property that dies with `object`: its own list and, for a sheet, those of its column
// sets.
std::unordered_set<const COvInfoProp*> PropertiesOf(const COvInfoObject& object);

// Cuts every link from the report to the properties in `dying`: a reference that stands for one
// of them becomes a plain value holding what it showed (and forgets the reference text, which
// would name some other object once positions shift), and a property shown on behalf of one of
// them forgets who showed it. Call before the properties go.
void ReleaseReferencesTo(orvik::Run& run, const std::unordered_set<const COvInfoProp*>& dying);

// The object of `report` whose property list holds `prop` (a sheet's column sets included), or
// null when none does (a program setting, a property already gone).
COvInfoObject* ObjectHolding(const CReport& report, const COvInfoProp& prop);

// True when `object` is a parameter, data source, sheet or task of `report` (the report object
// and column sets are not removed through the explorer).
bool CanRemove(const CReport& report, const COvInfoObject& object);

// Removes `object` from `report` with what cannot live without it, as CanRemove allows; false
// (nothing changed) when it is not removable. See the definition for what each kind takes along.
bool RemoveObject(orvik::Run& run, COvInfoObject& object);

}  // namespace orvik::design
