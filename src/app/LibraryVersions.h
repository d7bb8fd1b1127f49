// The libraries this program runs on, each with the version loaded now, for the about box and
// for bug reports: what a user quotes when something differs between two machines.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace orvik {

// Name and version of each library, the program first.
std::vector<std::pair<std::string, std::string>> LibraryVersions();

}  // namespace orvik
