#include "tasks/SessionSettings.h"

#include <sys/wait.h>

#include <chrono>
#include <optional>

#include "core/Log.h"
#include "core/Run.h"
#include "core/SettingsStore.h"
#include "core/TextEncoding.h"
#include "model/OvInfoAct.h"
#include "model/OvInfoProp.h"
#include "model/Registries.h"
#include "tasks/Redirector.h"

namespace orvik {
namespace {

// The same limits a command step lives by (see RunCommandStep).
constexpr int kDefaultCommandTimeout = 3600;
constexpr std::chrono::seconds kStopGrace{2};
constexpr std::chrono::seconds kOutputGrace{1};
constexpr std::chrono::milliseconds kNoLimit = std::chrono::hours(24 * 365 * 50);

// A value the user typed, fit to be quoted in a log line.
std::string Shown(std::string_view value) {
    std::string text(value.substr(0, 60));
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return text;
}

}  // namespace

std::string SessionOption(orvik::Run& run, const COvInfoAct& step, const char* name) {
    const std::string own = step.Get(name);
    return own.empty() ? run.Registries().SettingValue(name) : own;
}

std::string SettingWord(std::string_view value) {
    std::string word(Trim(value));
    for (char& c : word) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return word;
}

void RefuseSetting(std::string_view setting, std::string_view value, std::string_view why) {
    throw SessionSettingError(std::string(setting) + " '" + Shown(value) + "' " + std::string(why));
}

bool CertificateCheckOf(orvik::Run& run, const COvInfoAct& step, const char* setting) {
    const std::string value = SessionOption(run, step, setting);
    const std::string word = SettingWord(value);
    if (word.empty() || word == "1") return true;
    if (word == "0") return false;
    RefuseSetting(setting, value, "is neither 1 nor 0");
}

int TimeoutOf(orvik::Run& run, const COvInfoAct& step, const char* setting, int fallbackSeconds) {
    constexpr int kMostSeconds = 24 * 60 * 60;
    const std::string value = SessionOption(run, step, setting);
    const std::string word = SettingWord(value);
    if (word.empty()) return fallbackSeconds * 1000;
    int seconds = 0;
    for (const char c : word) {
        if (c < '0' || c > '9' || seconds > kMostSeconds) {
            RefuseSetting(setting, value, "is not a number of seconds from 0 to 86400");
        }
        seconds = seconds * 10 + (c - '0');
    }
    if (seconds > kMostSeconds)
        RefuseSetting(setting, value, "is not a number of seconds from 0 to 86400");
    return seconds * 1000;
}

void LogUncheckedCertificate(orvik::Run& run, std::string_view kind, const std::string& server,
                             std::string_view setting, const std::string& verdict) {
    // Said at every use, so that a check switched off for a test is not forgotten.
    UxSaveLog(run,
              "Warning: the certificate of " + std::string(kind) + " server " + server +
                  " was not checked (" + std::string(setting) + "=0); the check says: " + verdict,
              __FILE__, __LINE__);
}

std::string SessionSecret(orvik::Run& run, const COvInfoAct& step, const char* passwordSetting,
                          const char* commandSetting, std::string_view what) {
    const std::string command = SessionOption(run, step, commandSetting);
    return command.empty() ? SessionOption(run, step, passwordSetting)
                           : RunSecretCommand(run, command, what);
}

std::string RunSecretCommand(orvik::Run& run, const std::string& command, std::string_view what) {
    const std::string named = "The " + std::string(what);
    UxRedirector redirector;
    // What the command says on standard error (a prompt, a warning) must not pass for the
    // secret, so only standard output is read.
    if (!redirector.Open("{ " + command + "\n} 2>/dev/null")) {
        throw SessionSettingError(named + " could not be started");
    }
    const std::chrono::seconds timeout(
        SecondsFromText(run.Registries().SettingValue("CmdTimeout"), kDefaultCommandTimeout));
    const std::optional<int> status = redirector.WaitForChild(
        timeout.count() > 0 ? std::chrono::milliseconds(timeout) : kNoLimit);
    if (!status) redirector.StopProcessGroup(kStopGrace);
    redirector.WaitForOutputEnd(kOutputGrace);
    redirector.Close();
    // The output is the secret: it never goes into a message.
    if (!status) {
        throw SessionSettingError(named + " was stopped after " + std::to_string(timeout.count()) +
                                  " s (time-out CmdTimeout)");
    }
    if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
        throw SessionSettingError(
            WIFSIGNALED(*status)
                ? named + " was killed by signal " + std::to_string(WTERMSIG(*status))
                : named + " failed with exit status " + std::to_string(WEXITSTATUS(*status)));
    }
    const std::string output = redirector.Output();
    std::string line = output.substr(0, output.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) throw SessionSettingError(named + " printed no password");
    return line;
}

}  // namespace orvik
