// One report's run with everything it is made of: the program (its own, or one shared with other
// runs), the registries the report is read against, the report itself, and the run's state
// (core/Run.h). The unattended runner, the designer and every test make one; nothing below the
// program's edges finds it through a global, it is passed to what works for it.
#pragma once

#include <memory>
#include <string>

#include "core/Run.h"

class CRegistries;
class CReport;

namespace orvik {

struct AppContextOptions {
    std::string programFolder;           // with or without trailing "/"; "" = resolve from env
    std::string settingsPath;            // "" = SettingsStore::DefaultPath("Nobrant")
    std::unique_ptr<FrontEnd> frontEnd;  // null = a front end that logs every message box
};

class AppContext : public Run {
  public:
    // A run with a program of its own.
    explicit AppContext(AppContextOptions options = {});
    // A run of `program`, which outlives it.
    AppContext(Program& program, std::unique_ptr<FrontEnd> frontEnd);
    ~AppContext() override;

  private:
    void MakeReport();

    std::unique_ptr<CRegistries> registries_;
    std::unique_ptr<CReport> report_;
};

}  // namespace orvik
