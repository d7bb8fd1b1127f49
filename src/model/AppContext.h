// The application context: the program context (settings, language texts, front end) plus what
// the property model and the open report need, the registries of properties, data-source kinds
// and task steps, and the report itself, so that the exported free functions plug-ins call
// (UxSaveLog, GetPropS, AddProp, ...) find them, and so that every test can build a fresh program
// of its own. Constructing a context makes it the current one; destroying it restores the one
// before.
#pragma once

#include <memory>
#include <string>

#include "core/ProgramContext.h"
#include "model/TaskHandlers.h"

class CRegistries;
class CReport;

namespace orvik {

struct AppContextOptions {
    std::string programFolder;           // with or without trailing "/"; "" = resolve from env
    std::string settingsPath;            // "" = SettingsStore::DefaultPath("Nobrant")
    std::unique_ptr<FrontEnd> frontEnd;  // null = a front end that logs every message box
};

class AppContext : public ProgramContext {
  public:
    explicit AppContext(AppContextOptions options = {});
    ~AppContext() override;

    // The application context the exported functions work on; null before start-up (or when the
    // current program context is a bare one).
    static AppContext* Current();

    CRegistries& Registries() { return *registries_; }
    CReport& Report() { return *report_; }

    // Handlers of the step types that live in plug-ins.
    TaskHandlers& Tasks() { return tasks_; }

  private:
    std::unique_ptr<CRegistries> registries_;
    std::unique_ptr<CReport> report_;
    TaskHandlers tasks_;
};

}  // namespace orvik
