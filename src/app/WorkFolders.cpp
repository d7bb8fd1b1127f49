#include "app/WorkFolders.h"

#include <signal.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace orvik {
namespace {

constexpr std::string_view kDesignerPrefix = "Designer-";

// True unless process `processId` is known to have ended.
bool MayBeRunning(long processId) {
    if (processId <= 0) return false;
    return ::kill(static_cast<pid_t>(processId), 0) == 0 || errno != ESRCH;
}

}  // namespace

std::string SharedWorkFolder(const std::string& stateFolder) {
    return stateFolder + "HTML/";
}

std::string DesignerWorkFolder(const std::string& stateFolder, long processId) {
    return SharedWorkFolder(stateFolder) + std::string(kDesignerPrefix) +
           std::to_string(processId) + "/";
}

std::string RunWorkFolder(const std::string& stateFolder, std::string_view name) {
    std::string safe;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_';
        safe += plain ? c : '_';
    }
    if (safe.empty()) safe = "_";
    return SharedWorkFolder(stateFolder) + "Run-" + safe + "/";
}

int RemoveAbandonedDesignerFolders(const std::string& stateFolder) {
    namespace fs = std::filesystem;
    std::error_code error;
    int removed = 0;
    for (const fs::directory_entry& entry :
         fs::directory_iterator(SharedWorkFolder(stateFolder), error)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, kDesignerPrefix.size(), kDesignerPrefix) != 0) continue;
        const std::string digits = name.substr(kDesignerPrefix.size());
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        if (MayBeRunning(std::strtol(digits.c_str(), nullptr, 10))) continue;
        std::error_code ignored;
        // remove_all takes a link away as a link; it never descends through one.
        if (fs::remove_all(entry.path(), ignored) > 0) ++removed;
    }
    return removed;
}

}  // namespace orvik
