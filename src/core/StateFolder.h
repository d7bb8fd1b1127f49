// Where a run keeps what it writes. The program folder holds the parts of an installation that are
// only read (language files, Images/, plug-ins) and, when it can be written, the log and the HTML/
// work folder as well. An installed copy (/usr/lib/orvik owned by root, run by an ordinary user)
// cannot be written, so its log and work folder go to the user's state folder, where the base
// directory rules of the desktop put such files.
#pragma once

#include <cstdlib>
#include <functional>
#include <string>

namespace orvik {

// Looks up an environment variable; null when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

struct StateFolderChoice {
    std::string Folder;  // the folder of the log and the HTML/ work folder, with trailing "/"
    bool Moved = false;  // true when Folder is not the program folder
};

// The folder for the log and the work folder of `programFolder`: the program folder itself,
// unless it exists, ORVIK_HOME is not set and this user cannot write it; then
// "$XDG_STATE_HOME/orvik/", where an unset, empty or relative XDG_STATE_HOME stands for
// "$HOME/.local/state" (HOME unset: the home folder of the user's account). Without any home
// folder it stays the program folder.
StateFolderChoice ChooseStateFolder(const std::string& programFolder,
                                    const EnvironmentLookup& environment = std::getenv);

enum class StateFolderMade { AlreadyThere, Now, Failed };

// Makes `folder` with its missing parents, each private to the user as the base directory rules
// ask. Failed comes with the reason in `problem`.
StateFolderMade MakeStateFolder(const std::string& folder, std::string& problem);

// The line start-up writes on standard error when it first makes the moved folder (`problem`
// empty) or cannot make it (`problem` says why).
std::string MovedStateNotice(const std::string& programFolder, const std::string& stateFolder,
                             const std::string& problem = {});

}  // namespace orvik
