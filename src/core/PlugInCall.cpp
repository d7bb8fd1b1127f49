#include "core/PlugInCall.h"

#include <map>
#include <mutex>

namespace orvik {
namespace {

thread_local const PlugInCall* innermost = nullptr;

}  // namespace

// The outermost calls of every thread, kept for the stop watch, which runs on a thread of its own.
struct PlugInCallRegistry {
    std::mutex Guard;
    std::map<const PlugInCall*, RunningPlugInCall> Running;
    unsigned long long NextSerial = 1;

    static PlugInCallRegistry& Instance() {
        static PlugInCallRegistry registry;
        return registry;
    }
};

PlugInCall::PlugInCall(std::string_view fileName, std::string_view what)
    : outer_(innermost), fileName_(fileName), what_(what) {
    innermost = this;
    if (outer_) return;
    PlugInCallRegistry& registry = PlugInCallRegistry::Instance();
    const std::lock_guard lock(registry.Guard);
    registry.Running[this] = {fileName_, what_, std::chrono::steady_clock::now(),
                              registry.NextSerial++};
}

PlugInCall::~PlugInCall() {
    innermost = outer_;
    if (outer_) return;
    PlugInCallRegistry& registry = PlugInCallRegistry::Instance();
    const std::lock_guard lock(registry.Guard);
    registry.Running.erase(this);
}

std::string_view CurrentPlugInFile() {
    return innermost ? std::string_view(innermost->fileName_) : std::string_view();
}

std::optional<RunningPlugInCall> OldestPlugInCall() {
    PlugInCallRegistry& registry = PlugInCallRegistry::Instance();
    const std::lock_guard lock(registry.Guard);
    std::optional<RunningPlugInCall> oldest;
    for (const auto& [call, running] : registry.Running) {
        if (!oldest || running.Serial < oldest->Serial) oldest = running;
    }
    return oldest;
}

}  // namespace orvik
