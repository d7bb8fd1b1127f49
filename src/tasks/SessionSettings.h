// What the mail and FTP sessions have in common: each setting is taken from the delivery step's
// own property when that is not empty and from the program setting otherwise; a password may
// come from a command (a password manager, a keyring, a token helper) run as command steps are
// run; a certificate check turned off is said in the log at every use. A value that cannot be
// used is refused with a message naming the setting, the value shown safely, never a secret.
#pragma once

namespace orvik {
class Run;
}

#include <stdexcept>
#include <string>
#include <string_view>

class COvInfoAct;

namespace orvik {

// A session setting that cannot be used: its text says which and why (never a secret).
class SessionSettingError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The step's own value of `name` when it has one, else the program setting's.
std::string SessionOption(orvik::Run& run, const COvInfoAct& step, const char* name);

// `value` trimmed and lower-cased, for comparing with a setting's words.
std::string SettingWord(std::string_view value);

// Throws SessionSettingError "<setting> '<value>' <why>", the value cut short and with control
// characters replaced.
[[noreturn]] void RefuseSetting(std::string_view setting, std::string_view value,
                                std::string_view why);

// The certificate check setting `setting` of `step`: true for "1" or empty, false for "0";
// anything else is refused.
bool CertificateCheckOf(orvik::Run& run, const COvInfoAct& step, const char* setting);

// The time-out setting `setting` of `step` in milliseconds: whole seconds as written, up to a
// day; `fallbackSeconds` when empty; 0 stays 0 (the system's own limit). Anything else is
// refused.
int TimeoutOf(orvik::Run& run, const COvInfoAct& step, const char* setting, int fallbackSeconds);

// Logs that the certificate of the `kind` server `server` was let pass because `setting` is 0,
// with what the check found (`verdict`).
void LogUncheckedCertificate(orvik::Run& run, std::string_view kind, const std::string& server,
                             std::string_view setting, const std::string& verdict);

// The secret for a login: the output of the command setting `commandSetting` when that is set
// (it is there to hand out a password that changes), else the setting `passwordSetting`.
// `what` names the command in messages ("mail password command").
std::string SessionSecret(orvik::Run& run, const COvInfoAct& step, const char* passwordSetting,
                          const char* commandSetting, std::string_view what);

// Runs `command` through the shell with the command steps' time-out and output cap; returns its
// first output line (standard error is not read). Throws SessionSettingError, naming the command
// as `what`, when it cannot start, fails, is stopped, or prints an empty first line.
std::string RunSecretCommand(orvik::Run& run, const std::string& command, std::string_view what);

}  // namespace orvik
