#include "core/ProgramContext.h"

#include "core/BatchFrontEnd.h"
#include "core/LanguageTexts.h"
#include "core/Paths.h"
#include "core/SettingsStore.h"

namespace orvik {
namespace {
ProgramContext* current = nullptr;
}

ProgramContext::ProgramContext(const std::string& programFolder, const std::string& settingsPath,
                               std::unique_ptr<FrontEnd> frontEnd)
    : previous_(current),
      programFolder_(programFolder.empty() ? ResolveProgramFolder()
                                           : WithTrailingSlash(programFolder)),
      stateFolder_(ChooseStateFolder(programFolder_)),
      frontEnd_(frontEnd ? std::move(frontEnd) : std::make_unique<BatchFrontEnd>()),
      settings_(std::make_unique<SettingsStore>(
          settingsPath.empty() ? SettingsStore::DefaultPath("Nobrant") : settingsPath)),
      language_(std::make_unique<CLanguageTexts>()) {
    current = this;
}

ProgramContext::~ProgramContext() {
    current = previous_;
}

ProgramContext* ProgramContext::Current() {
    return current;
}

void ProgramContext::NoteError(std::string_view reason) {
    ++errorCount_;
    if (!firstError_.empty()) return;
    std::string_view text = reason.empty() ? std::string_view(lastLogLine_) : reason;
    // One line for the terminal: the first line of the text that says something.
    while (!text.empty() && (text.front() == '\n' || text.front() == ' ')) text.remove_prefix(1);
    firstError_ = text.substr(0, text.find('\n'));
}

void ProgramContext::SetFrontEnd(std::unique_ptr<FrontEnd> frontEnd) {
    frontEnd_ = frontEnd ? std::move(frontEnd) : std::make_unique<BatchFrontEnd>();
}

MessageBoxResult ShowMessage(std::string_view text, std::string_view caption,
                             MessageBoxButtons buttons, MessageBoxIcon icon) {
    ProgramContext* context = ProgramContext::Current();
    if (!context) return DefaultAnswer(buttons);
    if (icon == MessageBoxIcon::Error) context->NoteError(text);
    return context->Front().ShowMessageBox(text, caption, buttons, icon);
}

}  // namespace orvik
