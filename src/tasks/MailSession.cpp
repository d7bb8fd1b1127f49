#include "tasks/MailSession.h"

#include <sys/wait.h>

#include <chrono>
#include <optional>

#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "core/TextEncoding.h"
#include "model/OvInfoAct.h"
#include "model/OvInfoProp.h"
#include "net/ServerAddress.h"
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

std::string Lower(std::string_view text) {
    std::string lower(orvik::Trim(text));
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

// The step's own value when it has one, else the program setting's.
std::string Option(const COvInfoAct& step, const char* name) {
    const std::string own = step.Get(name);
    return own.empty() ? GetPropS(name) : own;
}

MailSecurity SecurityOf(const std::string& value, const std::string& scheme) {
    const std::string text = Lower(value);
    if (text.empty()) {
        if (scheme == "smtps") return MailSecurity::Tls;
        return scheme == "smtp" ? MailSecurity::StartTls : MailSecurity::None;
    }
    if (text == "none") return MailSecurity::None;
    if (text == "starttls") return MailSecurity::StartTls;
    if (text == "starttls-required") return MailSecurity::StartTlsRequired;
    if (text == "tls") return MailSecurity::Tls;
    throw MailSessionError("MailSecurity '" + Shown(value) +
                           "' is not one of none, starttls, starttls-required, tls");
}

MailAuthMethod AuthOf(const std::string& value) {
    const std::string text = Lower(value);
    if (text.empty() || text == "auto") return MailAuthMethod::Auto;
    if (text == "plain") return MailAuthMethod::Plain;
    if (text == "login") return MailAuthMethod::Login;
    if (text == "xoauth2") return MailAuthMethod::XOAuth2;
    throw MailSessionError("MailAuth '" + Shown(value) +
                           "' is not one of auto, plain, login, xoauth2");
}

bool VerifyOf(const std::string& value) {
    const std::string text = Lower(value);
    if (text.empty() || text == "1") return true;
    if (text == "0") return false;
    throw MailSessionError("MailVerify '" + Shown(value) + "' is neither 1 nor 0");
}

}  // namespace

MailSession ResolveMailSession(const COvInfoAct& step, const std::string& server) {
    MailSession session;
    session.Server = server;
    const ServerAddress address = ParseMailServer(server);
    session.Security = SecurityOf(Option(step, "MailSecurity"), address.Scheme);
    session.Auth = AuthOf(Option(step, "MailAuth"));
    session.Tls.Verify = VerifyOf(Option(step, "MailVerify"));
    session.Tls.CAFile = ToNativePath(std::string(Trim(Option(step, "MailCAFile"))));
    session.User = Option(step, "MailUser");
    if (session.User.empty()) return session;
    // A command wins over a stored password: it is there to hand out one that changes.
    const std::string command = Option(step, "MailPasswordCommand");
    session.Secret = command.empty() ? Option(step, "MailPassword") : RunSecretCommand(command);
    return session;
}

void ApplyMailSession(const MailSession& session, CZelSMTPConnection& connection) {
    connection.SetSecurity(session.Security);
    connection.SetTlsOptions(session.Tls);
    connection.SetLogin(session.User, session.Secret, session.Auth);
}

std::string RunSecretCommand(const std::string& command) {
    UxRedirector redirector;
    // What the command says on standard error (a prompt, a warning) must not pass for the
    // secret, so only standard output is read.
    if (!redirector.Open("{ " + command + "\n} 2>/dev/null")) {
        throw MailSessionError("The mail password command could not be started");
    }
    const std::chrono::seconds timeout(
        SecondsFromText(GetPropS("CmdTimeout"), kDefaultCommandTimeout));
    const std::optional<int> status = redirector.WaitForChild(
        timeout.count() > 0 ? std::chrono::milliseconds(timeout) : kNoLimit);
    if (!status) redirector.StopProcessGroup(kStopGrace);
    redirector.WaitForOutputEnd(kOutputGrace);
    redirector.Close();
    // The output is the secret: it never goes into a message.
    if (!status) {
        throw MailSessionError("The mail password command was stopped after " +
                               std::to_string(timeout.count()) + " s (time-out CmdTimeout)");
    }
    if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
        throw MailSessionError(WIFSIGNALED(*status)
                                   ? "The mail password command was killed by signal " +
                                         std::to_string(WTERMSIG(*status))
                                   : "The mail password command failed with exit status " +
                                         std::to_string(WEXITSTATUS(*status)));
    }
    const std::string output = redirector.Output();
    std::string line = output.substr(0, output.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) throw MailSessionError("The mail password command printed no password");
    return line;
}

}  // namespace orvik
