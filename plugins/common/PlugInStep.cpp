#include "PlugInStep.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "orvik/PlugInApi.h"

namespace plugin {
namespace {

// True when a "/"-separated component of `path` is "..".
bool LeadsUp(const std::string& path) {
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        if (path.compare(start, slash == std::string::npos ? std::string::npos : slash - start,
                         "..") == 0)
            return true;
        if (slash == std::string::npos) return false;
        start = slash + 1;
    }
}

}  // namespace

PlugInStep::PlugInStep(std::string type, std::string name, const std::string& plugInFile,
                       const char* fallbackFile)
    : type_(std::move(type)),
      name_(std::move(name)),
      file_(plugInFile.empty() ? fallbackFile : plugInFile) {}

void PlugInStep::Error(const std::string& message, int line) const {
    UxError((type_ + " step " + name_ + ": " + message).c_str(), file_.c_str(), line);
}

void PlugInStep::Log(const std::string& message, int line) const {
    UxSaveLog(message.c_str(), file_.c_str(), line);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string PlugInStep::OutFilePath(const std::string& stored, const char* defaultName) const {
    std::string raw = stored.empty() ? defaultName : stored;
    std::string path = DSetParam(raw.c_str());
    for (std::string* text : {&raw, &path}) {
        for (char& c : *text) {
            if (c == '\\') c = '/';
        }
    }
    if (path.empty() || path.back() == '/') {
        Error("the file name '" + path + "' names no file: nothing was written", __LINE__);
        return {};
    }
    if (LeadsUp(path)) {
        Error(
            "the file name '" + path + "' leads out of its folder with \"..\": nothing was written",
            __LINE__);
        return {};
    }
    const bool ownAbsolute = raw.front() == '/' || raw.rfind("~Dir~", 0) == 0;
    if (path.front() == '/' && !ownAbsolute) {
        Error(
            "the file name '" + path + "' became absolute through a parameter: nothing was written",
            __LINE__);
        return {};
    }
    return path.front() == '/' ? path : GetHtmlFolder() + path;
}

bool PlugInStep::MakeFolderOf(const std::string& target) const {
    const std::string folder = FolderOf(target);
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) return true;
    if (!std::filesystem::create_directories(folder, error) && error) {
        Error("cannot make the folder " + folder + " for " + target + ": " + error.message(),
              __LINE__);
        return false;
    }
    Log(type_ + " step " + name_ + ": made the folder " + folder, __LINE__);
    return true;
}

}  // namespace plugin
