#include "core/Program.h"

#include "core/LanguageTexts.h"
#include "core/Paths.h"
#include "core/SettingsStore.h"

namespace orvik {

Program::Program(const std::string& programFolder, const std::string& settingsPath)
    : programFolder_(programFolder.empty() ? ResolveProgramFolder()
                                           : WithTrailingSlash(programFolder)),
      stateFolder_(ChooseStateFolder(programFolder_)),
      settings_(std::make_unique<SettingsStore>(
          settingsPath.empty() ? SettingsStore::DefaultPath("Nobrant") : settingsPath)),
      language_(std::make_unique<CLanguageTexts>()) {}

Program::~Program() = default;

}  // namespace orvik
