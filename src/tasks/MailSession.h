// How an SMTP step reaches its server: the server as written, its security, the login and the
// certificate checks, each taken from the step's own property when that is not empty and from the
// program setting otherwise. A password may come from a command (a password manager, a keyring,
// an OAuth helper), run as command steps are run; its first output line is the secret.
#pragma once

namespace orvik {
class Run;
}

#include <string>

#include "net/ZelSMTPConnection.h"
#include "tasks/SessionSettings.h"

class COvInfoAct;

namespace orvik {

// A mail session setting that cannot be used: its text says which and why (never a secret).
using MailSessionError = SessionSettingError;

struct MailSession {
    std::string Server;  // as written, scheme included
    MailSecurity Security = MailSecurity::None;
    TlsOptions Tls;
    std::string User;
    std::string Secret;  // password or token; goes to the server only
    MailAuthMethod Auth = MailAuthMethod::Auto;
    int ConnectTimeoutMs = CZelSMTPConnection::kDefaultConnectTimeoutMs;  // negative: no limit
};

// Resolves the session for `step` and `server`. An empty MailSecurity follows the way the server
// is written, except that a login to a bare host asks for STARTTLS (which the connection then
// insists on: a login never goes out in clear unless MailSecurity says none). Runs the password
// command when one is set and a user is named. Throws MailSessionError for an unknown security,
// login, check or time-out value and for a password command that fails, times out or prints
// nothing.
MailSession ResolveMailSession(orvik::Run& run, const COvInfoAct& step, const std::string& server);

// While one lives, the sessions resolved for its step are worked out once and reused: a burst
// mails many recipients over the same settings, so its password command runs once (a one-time
// token helper is asked once) and a setting that cannot be used fails every recipient with the
// same reason without being tried again. Not nestable.
class MailSessionReuse {
  public:
    explicit MailSessionReuse(const COvInfoAct& step);
    ~MailSessionReuse();
    MailSessionReuse(const MailSessionReuse&) = delete;
    MailSessionReuse& operator=(const MailSessionReuse&) = delete;
};

// Hands `session` to `connection` before it connects.
void ApplyMailSession(const MailSession& session, CZelSMTPConnection& connection);

}  // namespace orvik
