#include "core/AppContext.h"

#include "app/LanguageTexts.h"
#include "core/BatchFrontEnd.h"
#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "model/Registries.h"
#include "model/Report.h"

namespace orvik {
namespace {
AppContext* current = nullptr;
}

AppContext::AppContext(AppContextOptions options)
    : previous_(current),
      frontEnd_(options.frontEnd ? std::move(options.frontEnd) : std::make_unique<BatchFrontEnd>()),
      settings_(std::make_unique<SettingsStore>(options.settingsPath.empty()
                                                    ? SettingsStore::DefaultPath("Nobrant")
                                                    : options.settingsPath)),
      language_(std::make_unique<CLanguageTexts>()),
      registries_(std::make_unique<CRegistries>()) {
    registries_->ProgramFolder = options.programFolder.empty()
                                     ? ResolveProgramFolder()
                                     : WithTrailingSlash(options.programFolder);
    registries_->TempFolder = ResolveTempFolder();
    current = this;
    // The report is made last: its objects register their properties with the registries above.
    report_ = std::make_unique<CReport>();
}

AppContext::~AppContext() {
    // The report's objects unregister themselves from the registries, so they go first.
    report_.reset();
    registries_.reset();
    current = previous_;
}

AppContext* AppContext::Current() {
    return current;
}

const std::string& AppContext::ProgramFolder() const {
    return registries_->ProgramFolder;
}

void AppContext::SetFrontEnd(std::unique_ptr<FrontEnd> frontEnd) {
    frontEnd_ = frontEnd ? std::move(frontEnd) : std::make_unique<BatchFrontEnd>();
}

MessageBoxResult ShowMessage(std::string_view text, std::string_view caption,
                             MessageBoxButtons buttons, MessageBoxIcon icon) {
    AppContext* context = AppContext::Current();
    if (!context) return DefaultAnswer(buttons);
    if (icon == MessageBoxIcon::Error) context->NoteError();
    return context->Front().ShowMessageBox(text, caption, buttons, icon);
}

}  // namespace orvik
