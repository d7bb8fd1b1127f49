// What a running program fixes at start-up and every run it makes shares: the program folder, the
// folder of the log and the work folders, the settings and the language texts. Reports run in a
// Run (core/Run.h) that refers to its program; nothing below the program's edges finds either
// through a global, so one process can serve many runs at once.
#pragma once

#include <memory>
#include <string>

#include "core/StateFolder.h"

class CLanguageTexts;

namespace orvik {

class SettingsStore;

class Program {
  public:
    // `programFolder` with or without trailing "/" ("" = resolve from the environment);
    // `settingsPath` "" = SettingsStore::DefaultPath("Nobrant").
    Program(const std::string& programFolder, const std::string& settingsPath);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The program folder with its trailing "/".
    const std::string& ProgramFolder() const { return programFolder_; }
    // The folder of the log and the HTML/ work folder, with its trailing "/": the program folder,
    // or the user's state folder when the program folder cannot be written (core/StateFolder.h).
    const std::string& StateFolder() const { return stateFolder_.Folder; }
    // True when StateFolder() is not the program folder.
    bool StateFolderMoved() const { return stateFolder_.Moved; }

    SettingsStore& Settings() { return *settings_; }
    const SettingsStore& Settings() const { return *settings_; }
    CLanguageTexts& Language() { return *language_; }
    const CLanguageTexts& Language() const { return *language_; }

  private:
    std::string programFolder_;
    StateFolderChoice stateFolder_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<CLanguageTexts> language_;
};

}  // namespace orvik
