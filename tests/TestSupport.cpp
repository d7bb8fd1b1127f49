#include "TestSupport.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
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

namespace {

uint32_t Crc32(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (const unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBigEndian(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void PutChunk(std::string& png, const std::string& type, const std::string& data) {
    PutBigEndian(png, static_cast<uint32_t>(data.size()));
    png += type + data;
    PutBigEndian(png, Crc32(type + data));
}

}  // namespace

std::string SolidPng(int width, int height, unsigned char red, unsigned char green,
                     unsigned char blue) {
    std::string pixels;
    for (int y = 0; y < height; ++y) {
        pixels += '\0';  // no filter
        for (int x = 0; x < width; ++x) pixels += {char(red), char(green), char(blue)};
    }
    // A zlib stream of stored blocks: no compression, so no library is needed.
    std::string deflated = "\x78\x01";
    for (size_t at = 0; at < pixels.size() || at == 0;) {
        const size_t size = std::min<size_t>(65535, pixels.size() - at);
        const bool last = at + size >= pixels.size();
        deflated += static_cast<char>(last ? 1 : 0);
        deflated +=
            {char(size & 0xFF), char(size >> 8), char(~size & 0xFF), char((~size >> 8) & 0xFF)};
        deflated += pixels.substr(at, size);
        at += size;
        if (last) break;
    }
    uint32_t a = 1, b = 0;
    for (const unsigned char byte : pixels) a = (a + byte) % 65521, b = (b + a) % 65521;
    PutBigEndian(deflated, (b << 16) | a);
    std::string header;
    PutBigEndian(header, static_cast<uint32_t>(width));
    PutBigEndian(header, static_cast<uint32_t>(height));
    header += {8, 2, 0, 0, 0};  // 8 bits, RGB, deflate, adaptive filters, no interlace
    std::string png = "\x89PNG\r\n\x1a\n";
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", deflated);
    PutChunk(png, "IEND", "");
    return png;
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
