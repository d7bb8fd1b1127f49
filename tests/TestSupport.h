// Shared scaffolding for the tests: a throw-away program folder, a front end that records what
// would have been shown to a person, and a fresh application context per test.
#pragma once

#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "design/DesignerWindows.h"
#include "model/AppContext.h"
#include "model/Report.h"

namespace orvik::test {

// The whole content of the file at `path` ("" when it cannot be read).
std::string ReadFileBytes(const std::string& path);

// True once no process of process group `group` is left, looked for during at most `within`.
// A member whose parent died lingers until init reaps it, which may take it a moment.
bool ProcessGroupGone(pid_t group, std::chrono::milliseconds within);

// The first column of the first row `select` gives in the SQLite file `database`, as a number:
// the oracle cube tests check the engine's sums against. A query that fails is a test failure
// (and gives -1).
double SqliteNumber(const std::string& database, const std::string& select);
// Runs the SQL statements `sql` on the SQLite file `database` (made when missing); "" when they
// ran, else SQLite's message.
std::string ExecuteSqlite(const std::string& database, const std::string& sql);

// A PNG file of `width` x `height` pixels all of one colour, written without an image tool.
std::string SolidPng(int width, int height, unsigned char red, unsigned char green,
                     unsigned char blue);

// A temporary folder removed with everything in it when the object dies.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // The folder with a trailing "/".
    const std::string& Path() const { return path_; }
    // Writes a file inside the folder and returns its full path.
    std::string Write(const std::string& name, const std::string& contents) const;

  private:
    std::string path_;
};

struct RecordedMessage {
    std::string Text;
    std::string Caption;
    MessageBoxButtons Buttons;
    MessageBoxIcon Icon;
};

// It stands for the designer's windows too, so that the design layer's tests see what they are
// told.
class RecordingFrontEnd : public FrontEnd, public design::DesignerWindows {
  public:
    MessageBoxResult ShowMessageBox(std::string_view text, std::string_view caption,
                                    MessageBoxButtons buttons, MessageBoxIcon icon) override;
    void SetPaneText(int pane, std::string_view text) override;
    void ShowProperties(ObjectKind kind, COvInfoObject* object) override;
    // The designer's window calls, each recorded in Events as "<call>" or "<call>:<name/text>".
    void ShowSettings() override;
    void AttachedTo(Run& run) override { run_ = &run; }
    // What a property bar would list after the last ShowProperties / ShowSettings.
    std::vector<COvInfoProp*> ShownPropertyList() override;
    void SetExplorerItemText(void*, std::string_view text) override {
        Record("ExplorerText", text);
    }
    void RebuildExplorer() override { Events.push_back("RebuildExplorer"); }
    void LanguageChanged() override { Events.push_back("LanguageChanged"); }
    void ShowPage(const std::string&) override { Events.push_back("ShowPage"); }
    void SheetRenamed(COvInfoSheet& s) override { Record("SheetRenamed", s.Name.Value); }
    void SheetRefreshed(COvInfoSheet& s) override { Record("SheetRefreshed", s.Name.Value); }
    void ReplaceSheetView(COvInfoSheet& s) override { Record("ReplaceSheetView", s.Name.Value); }
    void RemoveSheetView(COvInfoSheet& s) override { Record("RemoveSheetView", s.Name.Value); }
    void ModifiedChanged(bool modified) override {
        Events.push_back(modified ? "Modified" : "Saved");
    }
    // How many recorded events equal `event`.
    int Count(const std::string& event) const {
        return static_cast<int>(std::count(Events.begin(), Events.end(), event));
    }

    std::vector<RecordedMessage> Messages;
    std::vector<std::pair<int, std::string>> PaneTexts;
    std::vector<std::pair<ObjectKind, COvInfoObject*>> Shown;
    std::vector<std::string> Events;
    MessageBoxResult Answer = MessageBoxResult::Ok;

  private:
    Run* run_ = nullptr;
    ObjectKind shownKind_ = ObjectKind::None;
    COvInfoObject* shownObject_ = nullptr;

    void Record(const char* call, std::string_view what) {
        Events.push_back(std::string(call) + ":" + std::string(what));
    }
};

// A program of its own for one test: a fresh program folder and settings file, a recording front
// end, and (unless asked not to) the built schema.
class TestProgram {
  public:
    explicit TestProgram(bool buildSchema = true);
    ~TestProgram();

    AppContext& Context() { return *context_; }
    RecordingFrontEnd& Front() { return *front_; }
    const TempDir& Home() const { return home_; }
    std::string SettingsPath() const { return home_.Path() + "settings.ini"; }
    // The whole log file ("" when none was written).
    std::string ReadLog() const;

  private:
    TempDir home_;
    RecordingFrontEnd* front_;
    std::unique_ptr<AppContext> context_;
};

// Adds parameter `name` with `value` to `report` the way the report loader does: its value
// property joins the report object's list under the parameter's name.
COvInfoPrm& AddParameter(CReport& report, const std::string& name, const std::string& value);

}  // namespace orvik::test
