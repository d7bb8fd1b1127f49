#include "model/AppContext.h"

#include "core/Paths.h"
#include "model/Registries.h"
#include "model/Report.h"

namespace orvik {

AppContext::AppContext(AppContextOptions options)
    : Run(std::make_unique<Program>(options.programFolder, options.settingsPath),
          std::move(options.frontEnd)) {
    MakeReport();
}

AppContext::AppContext(Program& program, std::unique_ptr<FrontEnd> frontEnd)
    : Run(program, std::move(frontEnd)) {
    MakeReport();
}

void AppContext::MakeReport() {
    registries_ = std::make_unique<CRegistries>();
    registries_->ProgramFolder = ProgramFolder();
    registries_->StateFolder = StateFolder();
    registries_->TempFolder = ResolveTempFolder();
    registries_->Language = &Language();
    registries_->Warn = [this](const std::string& message) {
        ShowMessage(*this, message, {}, MessageBoxButtons::Ok, MessageBoxIcon::Warning);
    };
    // The report is made last: its objects register their properties with the registries above.
    report_ = std::make_unique<CReport>(*registries_);
    Attach(*registries_, *report_);
}

AppContext::~AppContext() {
    // The report's objects unregister themselves from the registries, so they go first.
    report_.reset();
    registries_.reset();
}

}  // namespace orvik
