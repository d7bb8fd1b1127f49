// The application context: one object that owns everything a running program has (settings,
// language texts, the property registries, the open report, the front end) so that the exported
// free functions plug-ins call (UxSaveLog, GetPropS, AddProp, ...) find it, and so that every test
// can build a fresh program of its own. Constructing a context makes it the current one; destroying
// it restores the one before.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/FrontEnd.h"
#include "core/TaskHandlers.h"

class CRegistries;
class CReport;
class CLanguageTexts;

namespace orvik {

class SettingsStore;

struct AppContextOptions {
    std::string programFolder;           // with or without trailing "/"; "" = resolve from env
    std::string settingsPath;            // "" = SettingsStore::DefaultPath("Nobrant")
    std::unique_ptr<FrontEnd> frontEnd;  // null = a front end that logs every message box
};

class AppContext {
  public:
    explicit AppContext(AppContextOptions options = {});
    ~AppContext();
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    // The context the exported functions work on; null before start-up.
    static AppContext* Current();

    // The program folder with its trailing "/".
    const std::string& ProgramFolder() const;

    FrontEnd& Front() { return *frontEnd_; }
    // Replaces the front end (start-up installs the batch one when a task is to run unattended).
    void SetFrontEnd(std::unique_ptr<FrontEnd> frontEnd);

    SettingsStore& Settings() { return *settings_; }
    CLanguageTexts& Language() { return *language_; }
    CRegistries& Registries() { return *registries_; }
    CReport& Report() { return *report_; }

    // Handlers of the step types that live outside the task runner.
    TaskHandlers& Tasks() { return tasks_; }

    // Set when the command line asks for an unattended run: errors go to the log, never to a
    // person.
    bool BatchMode = false;

    // Counts the errors reported during the run; an unattended run exits non-zero when any was.
    void NoteError() { ++errorCount_; }
    int ErrorCount() const { return errorCount_; }

  private:
    AppContext* previous_;
    std::unique_ptr<FrontEnd> frontEnd_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<CLanguageTexts> language_;
    std::unique_ptr<CRegistries> registries_;
    std::unique_ptr<CReport> report_;
    TaskHandlers tasks_;
    int errorCount_ = 0;
};

// Shows a message through the current front end (logged in batch mode). A message with the
// error icon counts as an error of the run. Without a context, the default answer is returned.
MessageBoxResult ShowMessage(std::string_view text, std::string_view caption = {},
                             MessageBoxButtons buttons = MessageBoxButtons::Ok,
                             MessageBoxIcon icon = MessageBoxIcon::None);

}  // namespace orvik
