#include "TestSupport.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "model/Registries.h"

namespace orvik::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvik-test-XXXXXX").string();
    const char* made = mkdtemp(pattern.data());
    path_ = WithTrailingSlash(made ? made : pattern);
}

TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

std::string TempDir::Write(const std::string& name, const std::string& contents) const {
    const std::string path = path_ + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

MessageBoxResult RecordingFrontEnd::ShowMessageBox(std::string_view text, std::string_view caption,
                                                   MessageBoxButtons buttons, MessageBoxIcon icon) {
    Messages.push_back({std::string(text), std::string(caption), buttons, icon});
    return Answer;
}

void RecordingFrontEnd::SetPaneText(int pane, std::string_view text) {
    PaneTexts.emplace_back(pane, std::string(text));
}

void RecordingFrontEnd::ShowProperties(ObjectKind kind, COvInfoObject* object) {
    Shown.emplace_back(kind, object);
    shownKind_ = kind;
    shownObject_ = object;
}

void RecordingFrontEnd::ShowSettings() {
    Events.push_back("ShowSettings");
    shownKind_ = ObjectKind::Settings;
    shownObject_ = nullptr;
}

std::vector<COvInfoProp*> RecordingFrontEnd::ShownPropertyList() {
    std::vector<COvInfoProp*> list;
    if (shownKind_ == ObjectKind::Settings) {
        if (run_ && run_->HasReport()) {
            for (const auto& setting : run_->Registries().ProgramSettings)
                list.push_back(setting.get());
        }
    } else if (shownObject_) {
        list = shownObject_->Props;
    }
    return list;
}

TestProgram::TestProgram(bool buildSchema) {
    auto front = std::make_unique<RecordingFrontEnd>();
    front_ = front.get();
    context_ = std::make_unique<AppContext>(
        AppContextOptions{home_.Path(), SettingsPath(), std::move(front)});
    if (buildSchema) BuildSchema(context_->Registries(), context_->Settings());
}

TestProgram::~TestProgram() = default;

std::string TestProgram::ReadLog() const {
    std::string log;
    ReadWholeFile(home_.Path() + "Orvik18.log", log);
    return log;
}

std::string ReadFileBytes(const std::string& path) {
    std::string bytes;
    ReadWholeFile(path, bytes);
    return bytes;
}

double SqliteNumber(const std::string& database, const std::string& select) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    double value = -1;
    if (sqlite3_prepare_v2(db, select.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_double(statement, 0);
    else
        ADD_FAILURE() << select << ": " << sqlite3_errmsg(db);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

std::string ExecuteSqlite(const std::string& database, const std::string& sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open(database.c_str(), &db) != SQLITE_OK) {
        const std::string message = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return "cannot open " + database + ": " + message;
    }
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    std::string message = rc == SQLITE_OK ? "" : error ? error : sqlite3_errmsg(db);
    sqlite3_free(error);
    sqlite3_close(db);
    return message;
}

bool ProcessGroupGone(pid_t group, std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (true) {
        if (::kill(-group, 0) != 0 && errno == ESRCH) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

COvInfoPrm& AddParameter(CReport& report, const std::string& name, const std::string& value) {
    report.Params.push_back(std::make_unique<COvInfoPrm>(&report.Registries(), GroupId::Param));
    COvInfoPrm& prm = *report.Params.back();
    prm.Name.Value = name;
    prm.PrmVal.Value = value;
    prm.PrmVal.Caption = name;
    report.ReportObject->Props.push_back(&prm.PrmVal);
    return prm;
}

}  // namespace orvik::test
