#include "tasks/MailSession.h"

#include <optional>

#include "core/Paths.h"
#include "core/Run.h"
#include "core/TextEncoding.h"
#include "model/Registries.h"
#include "net/ServerAddress.h"

namespace orvik {
namespace {

MailSecurity SecurityOf(const std::string& value, const std::string& scheme, bool login) {
    const std::string text = SettingWord(value);
    if (text.empty()) {
        if (scheme == "smtps") return MailSecurity::Tls;
        return scheme == "smtp" || login ? MailSecurity::StartTls : MailSecurity::None;
    }
    if (text == "none") return MailSecurity::None;
    if (text == "starttls") return MailSecurity::StartTls;
    if (text == "starttls-required") return MailSecurity::StartTlsRequired;
    if (text == "tls") return MailSecurity::Tls;
    RefuseSetting("MailSecurity", value, "is not one of none, starttls, starttls-required, tls");
}

MailAuthMethod AuthOf(const std::string& value) {
    const std::string text = SettingWord(value);
    if (text.empty() || text == "auto") return MailAuthMethod::Auto;
    if (text == "plain") return MailAuthMethod::Plain;
    if (text == "login") return MailAuthMethod::Login;
    if (text == "xoauth2") return MailAuthMethod::XOAuth2;
    RefuseSetting("MailAuth", value, "is not one of auto, plain, login, xoauth2");
}

// The session a MailSessionReuse keeps for its step: the last server asked for and what resolving
// it gave (the session, or the reason it could not be used).
struct ReusedSession {
    const COvInfoAct* Step = nullptr;
    std::string Server;
    std::optional<MailSession> Session;
    std::optional<std::string> Refusal;
};

std::optional<ReusedSession> activeReuse;

MailSession Resolve(Run& run, const COvInfoAct& step, const std::string& server);

}  // namespace

MailSessionReuse::MailSessionReuse(const COvInfoAct& step) {
    activeReuse.emplace(ReusedSession{&step, {}, {}, {}});
}

MailSessionReuse::~MailSessionReuse() {
    activeReuse.reset();
}

MailSession ResolveMailSession(orvik::Run& run, const COvInfoAct& step, const std::string& server) {
    ReusedSession* reuse = activeReuse ? &*activeReuse : nullptr;
    if (!reuse || reuse->Step != &step) return Resolve(run, step, server);
    if (reuse->Server != server || (!reuse->Session && !reuse->Refusal)) {
        reuse->Server = server;
        reuse->Session.reset();
        reuse->Refusal.reset();
        try {
            reuse->Session = Resolve(run, step, server);
        } catch (const SessionSettingError& error) {
            reuse->Refusal = error.what();
        }
    }
    if (reuse->Refusal) throw SessionSettingError(*reuse->Refusal);
    return *reuse->Session;
}

namespace {

MailSession Resolve(orvik::Run& run, const COvInfoAct& step, const std::string& server) {
    MailSession session;
    session.Server = server;
    const ServerAddress address = ParseMailServer(server);
    session.User = SessionOption(run, step, "MailUser");
    session.Security =
        SecurityOf(SessionOption(run, step, "MailSecurity"), address.Scheme, !session.User.empty());
    session.Auth = AuthOf(SessionOption(run, step, "MailAuth"));
    session.Tls.Verify = CertificateCheckOf(run, step, "MailVerify");
    session.Tls.CAFile = ToNativePath(std::string(Trim(SessionOption(run, step, "MailCAFile"))));
    session.ConnectTimeoutMs = TimeoutOf(run, step, "MailConnectTimeout",
                                         CZelSMTPConnection::kDefaultConnectTimeoutMs / 1000);
    if (session.ConnectTimeoutMs == 0) session.ConnectTimeoutMs = -1;
    if (session.User.empty()) return session;
    session.Secret =
        SessionSecret(run, step, "MailPassword", "MailPasswordCommand", "mail password command");
    return session;
}

}  // namespace

void ApplyMailSession(const MailSession& session, CZelSMTPConnection& connection) {
    connection.SetSecurity(session.Security);
    connection.SetTlsOptions(session.Tls);
    connection.SetLogin(session.User, session.Secret, session.Auth);
    connection.SetConnectTimeout(session.ConnectTimeoutMs);
}

}  // namespace orvik
