#include "model/AppContext.h"

#include "core/Paths.h"
#include "model/Registries.h"
#include "model/Report.h"

namespace orvik {

AppContext::AppContext(AppContextOptions options)
    : ProgramContext(options.programFolder, options.settingsPath, std::move(options.frontEnd)),
      registries_(std::make_unique<CRegistries>()) {
    registries_->ProgramFolder = ProgramFolder();
    registries_->StateFolder = StateFolder();
    registries_->TempFolder = ResolveTempFolder();
    // The report is made last: its objects register their properties with the registries above.
    report_ = std::make_unique<CReport>();
}

AppContext::~AppContext() {
    // The report's objects unregister themselves from the registries, so they go first.
    report_.reset();
    registries_.reset();
}

AppContext* AppContext::Current() {
    return dynamic_cast<AppContext*>(ProgramContext::Current());
}

}  // namespace orvik
