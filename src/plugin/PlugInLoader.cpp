// Loading the plug-ins and routing their types to them.
#include "plugin/PlugInLoader.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

#include "core/Log.h"
#include "core/PlugInCall.h"
#include "core/Run.h"
#include "model/OvInfoAct.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoObject.h"
#include "model/OvInfoProp.h"
#include "model/OvInfoSheet.h"
#include "model/PropertyTranslation.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "orvik/RepPlugIn.h"
#include "plugin/PlugInGuard.h"
#include "plugin/PlugInTypes.h"

namespace orvik {
namespace {

// Tags for the descriptor's class members: a plug-in may compare them, nothing more.
constexpr char kDocumentClass[] = "COrvikDoc";
constexpr char kChildFrameClass[] = "CChildFrame";
constexpr char kMainFrameClass[] = "CMainFrame";

// The setting that lets plug-ins load from places others can write (development machines).
constexpr char kAnyOwnerSetting[] = "PlugInAnyOwner";

// The "*.rll" files of `folder`, sorted by file name.
std::vector<std::filesystem::path> PlugInFiles(const std::string& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::filesystem::path& path = it->path();
        if (path.extension() == ".rll" && it->is_regular_file(error)) files.push_back(path);
    }
    std::sort(files.begin(), files.end(),
              [](const auto& a, const auto& b) { return a.filename() < b.filename(); });
    return files;
}

// Why the library at `path` must not be loaded, or "". A library that another user, or anyone
// in a group, can replace would run with the rights of whoever runs the report: the file (after
// following links) and the folder it lies in must be writable by their owner only, and that owner
// must be root or the user running the program.
std::string UnsafePlugInReason(const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    if (error) return "it cannot be resolved: " + error.message();
    for (const std::filesystem::path& checked : {real, real.parent_path()}) {
        struct stat info {};
        if (::stat(checked.c_str(), &info) != 0)
            return checked.string() + " cannot be examined: " + std::strerror(errno);
        if (info.st_mode & S_IWOTH) return checked.string() + " can be written by every user";
        if (info.st_mode & S_IWGRP)
            return checked.string() + " can be written by the members of its group";
        if (info.st_uid != 0 && info.st_uid != ::geteuid())
            return checked.string() + " belongs to another user (uid " +
                   std::to_string(info.st_uid) + ")";
    }
    return {};
}

bool AllowsUnsafePlugIns(Run& context) {
    const COvInfoProp* setting = context.Registries().FindSetting(kAnyOwnerSetting);
    return setting && setting->Value == "1";
}

// Loads one library and adds its descriptor; false when it added nothing.
bool LoadPlugIn(Run& context, const std::filesystem::path& path) {
    const std::string file = path.filename().string();
    if (const std::string unsafe = UnsafePlugInReason(path); !unsafe.empty()) {
        if (!AllowsUnsafePlugIns(context)) {
            UxSaveLog(context,
                      "Plug-in " + path.string() + " was not loaded: " + unsafe +
                          " (fix its permissions, or set " + kAnyOwnerSetting +
                          "=1 on a development machine)",
                      __FILE__, __LINE__);
            return false;
        }
        UxSaveLog(context,
                  "Plug-in " + path.string() + " is loaded although " + unsafe + " (setting " +
                      kAnyOwnerSetting + ")",
                  __FILE__, __LINE__);
    }
    // RTLD_LOCAL: two plug-ins may use the same names for their own things.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* reason = dlerror();
        UxSaveLog(context,
                  "Unable to load plug-in " + path.string() + ": " + (reason ? reason : "unknown"),
                  __FILE__, __LINE__);
        return false;
    }
    // A library without the entry is not a report plug-in (a helper library of one, say): it
    // stays loaded and adds nothing.
    using Entry = CRepPlugIn* (*)();
    auto entry = reinterpret_cast<Entry>(dlsym(library, kRepPlugInEntry));
    if (!entry) return false;
    CRepPlugIn* plugIn = entry();
    if (!plugIn) {
        UxSaveLog(context, "Plug-in " + path.string() + " returned no descriptor: not loaded",
                  __FILE__, __LINE__);
        return false;
    }
    if (plugIn->m_InterfaceVersion != kOrvikPlugInInterfaceVersion) {
        UxSaveLog(context,
                  "Plug-in " + path.string() + " was built for plug-in interface version " +
                      std::to_string(plugIn->m_InterfaceVersion) + ", this program has version " +
                      std::to_string(kOrvikPlugInInterfaceVersion) +
                      ": not loaded; rebuild it against this program's SDK",
                  __FILE__, __LINE__);
        return false;
    }
    CRegistries& registries = context.Registries();
    plugIn->m_pApp = &context;
    plugIn->m_pDocClass = kDocumentClass;
    plugIn->m_pChildFrameClass = kChildFrameClass;
    plugIn->m_pMainFrameClass = kMainFrameClass;
    plugIn->m_PlugInIndex = static_cast<int>(registries.PlugIns.size());
    plugIn->m_FileName = file;
    registries.PlugIns.push_back(plugIn);
    // Registrations during Init carry this plug-in's index.
    registries.LoadedPlugInCount = static_cast<int>(registries.PlugIns.size());
    Guarded(
        *plugIn, "Init", context, Failure::Logged,
        [&] {
            plugIn->Init();
            return true;
        },
        false);
    // The types it registered run through the same registries as the program's own.
    RegisterPlugInTypes(registries, plugIn->m_PlugInIndex);
    // Its captions in the interface language, keyed by the library's name without ".rll".
    TranslateProperties(context.Language(), registries, plugIn->m_PlugInIndex,
                        path.stem().string());
    return true;
}

}  // namespace

int LoadPlugIns(Run& context) {
    CRegistries& registries = context.Registries();
    if (registries.PlugInsLoaded) return 0;
    registries.PlugInsLoaded = true;
    int added = 0;
    for (const auto& path : PlugInFiles(context.ProgramFolder())) {
        if (LoadPlugIn(context, path)) ++added;
    }
    return added;
}

std::vector<PlugInAbout> PlugInAboutRows(const CRegistries& registries) {
    std::vector<PlugInAbout> rows;
    for (const CRepPlugIn* plugIn : registries.PlugIns)
        rows.push_back({plugIn->m_Name, plugIn->m_FileName, plugIn->m_Version, plugIn->m_Note});
    return rows;
}

}  // namespace orvik
