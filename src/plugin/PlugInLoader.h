// The report plug-ins of this run: the "*.rll" libraries of the program folder, loaded once at
// start-up in file-name order (so two machines with the same files number them the same), each
// asked for its descriptor, numbered by its place in the list and initialised; then each type it
// registered gets its entry in the program's registries (plugin/PlugInTypes.h). A library that
// cannot be loaded, or was built for another interface version, is named in the log with the reason
// and skipped: the run goes on without it.
#pragma once

#include <string>
#include <vector>

class CRepPlugIn;
class CRegistries;

namespace orvik {

class Run;

// One row of the plug-ins' about list.
struct PlugInAbout {
    std::string Name;
    std::string FileName;
    std::string Version;
    std::string Note;
};

// Loads every "*.rll" of `context`'s program folder into its plug-in list and registers their
// types. Call once, after the program's own types are registered; a second call
// loads nothing more. Returns the number of plug-ins added.
int LoadPlugIns(Run& context);

// Name, file, version and note of each plug-in, in list order.
std::vector<PlugInAbout> PlugInAboutRows(const CRegistries& registries);

}  // namespace orvik
