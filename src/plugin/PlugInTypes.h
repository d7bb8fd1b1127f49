// The entries through which a plug-in's types run: for each data-source kind, view type and step
// type a plug-in registers, an entry in the program's registries that forwards the work to the
// plug-in's slots. Nothing else in the program asks whether a type is a plug-in's.
#pragma once

class CRegistries;

namespace orvik {

// Adds an entry to `registries`' kinds, view types and step types for each type the plug-in at
// `plugInIndex` registered (the value-list entries it added to the data-source, output and task
// type lists).
void RegisterPlugInTypes(CRegistries& registries, int plugInIndex);

}  // namespace orvik
