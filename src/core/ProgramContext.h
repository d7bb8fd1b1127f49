// What every layer of a running program may reach: the program folder, the settings, the language
// texts, the front end and the tally of errors an unattended run exits on. The application context
// (model/AppContext.h) builds on it with the registries and the open report; the lower layers (the
// log, data access, language lookups) see only this part, so they cannot grow a dependency on
// what is built above them.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/FrontEnd.h"
#include "core/StateFolder.h"

class CLanguageTexts;

namespace orvik {

class SettingsStore;

class ProgramContext {
  public:
    // `programFolder` with or without trailing "/" ("" = resolve from the environment);
    // `settingsPath` "" = SettingsStore::DefaultPath("Nobrant"); `frontEnd` null = a front end
    // that logs every message box.
    ProgramContext(const std::string& programFolder, const std::string& settingsPath,
                   std::unique_ptr<FrontEnd> frontEnd);
    virtual ~ProgramContext();
    ProgramContext(const ProgramContext&) = delete;
    ProgramContext& operator=(const ProgramContext&) = delete;

    // The context of the running program; null before start-up.
    static ProgramContext* Current();

    // The program folder with its trailing "/".
    const std::string& ProgramFolder() const { return programFolder_; }
    // The folder of the log and the HTML/ work folder, with its trailing "/": the program folder,
    // or the user's state folder when the program folder cannot be written (core/StateFolder.h).
    const std::string& StateFolder() const { return stateFolder_.Folder; }
    // True when StateFolder() is not the program folder.
    bool StateFolderMoved() const { return stateFolder_.Moved; }

    FrontEnd& Front() { return *frontEnd_; }
    // Replaces the front end (start-up installs the batch one when a task is to run unattended).
    void SetFrontEnd(std::unique_ptr<FrontEnd> frontEnd);

    SettingsStore& Settings() { return *settings_; }
    CLanguageTexts& Language() { return *language_; }

    // Set when the command line asks for an unattended run: errors go to the log, never to a
    // person.
    bool BatchMode = false;

    // Counts the errors reported during the run; an unattended run exits non-zero when any was.
    // The first one's reason is kept for the line a failed run leaves on the terminal: `reason`
    // when given, else the last line the log received (failures log their reason, then count).
    void NoteError(std::string_view reason = {});
    int ErrorCount() const { return errorCount_; }
    const std::string& FirstError() const { return firstError_; }
    // The last message written to the log, for NoteError.
    void RememberLogLine(std::string_view message) { lastLogLine_ = message; }

  private:
    ProgramContext* previous_;
    std::string programFolder_;
    StateFolderChoice stateFolder_;
    std::unique_ptr<FrontEnd> frontEnd_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<CLanguageTexts> language_;
    int errorCount_ = 0;
    std::string firstError_;
    std::string lastLogLine_;
};

// Shows a message through the current front end (logged in batch mode). A message with the
// error icon counts as an error of the run. Without a context, the default answer is returned.
MessageBoxResult ShowMessage(std::string_view text, std::string_view caption = {},
                             MessageBoxButtons buttons = MessageBoxButtons::Ok,
                             MessageBoxIcon icon = MessageBoxIcon::None);

}  // namespace orvik
