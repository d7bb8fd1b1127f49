// Where a run writes its page and pictures. An unattended run uses the HTML folder of the program's
// state folder, which two unattended runs take in turns. A designer window writes there after every
// edit, so it has a folder of its own inside it ("HTML/Designer-<process id>/") and never makes a
// scheduled run wait; runs made inside one process for others get one each ("HTML/Run-<name>/").
#pragma once

#include <string>
#include <string_view>

namespace orvik {

// The shared work folder of `stateFolder` (with trailing "/").
std::string SharedWorkFolder(const std::string& stateFolder);

// The work folder of the designer window of process `processId`.
std::string DesignerWorkFolder(const std::string& stateFolder, long processId);

// The work folder of the in-process run named `name` (letters, digits, "-" and "_" only; anything
// else becomes "_").
std::string RunWorkFolder(const std::string& stateFolder, std::string_view name);

// Removes the designer folders whose process has ended (a designer that crashed or was killed),
// leaving everything else alone. Links are removed, never followed. Returns how many went.
int RemoveAbandonedDesignerFolders(const std::string& stateFolder);

}  // namespace orvik
