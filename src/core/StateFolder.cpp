#include "core/StateFolder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "core/Paths.h"

namespace orvik {
namespace {

bool IsSet(const char* value) {
    return value && *value;
}

// True only when the folder is there and this user is refused writing into it. A missing folder
// is no reason to move: the log has always quietly lost its lines then.
bool RefusesWriting(const std::string& folder) {
    // The effective ids decide, as they do for the writes that would follow.
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0) return false;
    return errno == EACCES || errno == EROFS || errno == EPERM;
}

std::string AccountHome() {
    std::vector<char> buffer(16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return IsSet(found->pw_dir) ? std::string(found->pw_dir) : std::string();
}

// The folder as a person reads it: no trailing "/" unless it is the root.
std::string Shown(const std::string& folder) {
    std::string shown = folder;
    while (shown.size() > 1 && shown.back() == '/') shown.pop_back();
    return shown;
}

}  // namespace

StateFolderChoice ChooseStateFolder(const std::string& programFolder,
                                    const EnvironmentLookup& environment) {
    StateFolderChoice choice{WithTrailingSlash(programFolder), false};
    if (programFolder.empty() || IsSet(environment("ORVIK_HOME")) ||
        !RefusesWriting(programFolder)) {
        return choice;
    }
    std::string base;
    const char* stateHome = environment("XDG_STATE_HOME");
    if (IsSet(stateHome) && stateHome[0] == '/') {
        base = stateHome;
    } else {
        const char* home = environment("HOME");
        const std::string homeFolder = IsSet(home) ? std::string(home) : AccountHome();
        if (homeFolder.empty()) return choice;
        base = WithTrailingSlash(homeFolder) + ".local/state";
    }
    choice.Folder = WithTrailingSlash(base) + "orvik/";
    choice.Moved = true;
    return choice;
}

StateFolderMade MakeStateFolder(const std::string& folder, std::string& problem) {
    struct stat status;
    if (stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        return StateFolderMade::AlreadyThere;
    // Each missing step is made on its own, so that "~/.local/state" made here is private too.
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string step = folder.substr(0, slash);
        if (!step.empty() && mkdir(step.c_str(), 0700) != 0 && errno != EEXIST) {
            problem = "cannot make " + step + ": " + std::strerror(errno);
            return StateFolderMade::Failed;
        }
        if (slash == std::string::npos || slash + 1 == folder.size()) break;
    }
    if (stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        problem = "cannot make " + Shown(folder) + ": " + std::strerror(ENOTDIR);
        return StateFolderMade::Failed;
    }
    return StateFolderMade::Now;
}

std::string MovedStateNotice(const std::string& programFolder, const std::string& stateFolder,
                             const std::string& problem) {
    std::string line = "orvik: the program folder " + Shown(programFolder) + " cannot be written; ";
    if (problem.empty()) {
        line += "log and work files go to " + Shown(stateFolder);
    } else {
        line +=
            "log and work files cannot go to " + Shown(stateFolder) + " either (" + problem + ")";
    }
    return line + "\n";
}

}  // namespace orvik
