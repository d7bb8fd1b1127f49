#include "tasks/FtpSession.h"

#include "core/Paths.h"
#include "core/Run.h"
#include "core/TextEncoding.h"
#include "model/OvInfoAct.h"
#include "model/Registries.h"

namespace orvik {
namespace {

bool IsAnonymous(const std::string& user) {
    const std::string word = SettingWord(user);
    return word.empty() || word == "anonymous" || word == "ftp";
}

// `protectLogin`: a login that must not go out in clear unless FtpSecurity says none.
FtpSecurity SecurityOf(const std::string& value, const std::string& server, bool protectLogin) {
    const std::string text = SettingWord(value);
    if (text.empty()) {
        const FtpSecurity written = FtpSecurityOfServer(server);
        return written == FtpSecurity::None && protectLogin ? FtpSecurity::Explicit : written;
    }
    if (text == "none") return FtpSecurity::None;
    if (text == "explicit") return FtpSecurity::Explicit;
    if (text == "implicit") return FtpSecurity::Implicit;
    if (text == "sftp") return FtpSecurity::Sftp;
    RefuseSetting("FtpSecurity", value, "is not one of none, explicit, implicit, sftp");
}

std::string FileOption(orvik::Run& run, const COvInfoAct& step, const char* name) {
    return ToNativePath(std::string(Trim(SessionOption(run, step, name))));
}

}  // namespace

FtpSession ResolveFtpSession(orvik::Run& run, const COvInfoAct& step, const std::string& server) {
    FtpSession session;
    session.Server = server;
    const std::string stepUser = step.Get("User");
    session.User = stepUser.empty() ? SessionOption(run, step, "FtpUser") : stepUser;
    // The step's own User is how reports logged in before FtpSecurity existed; they keep doing
    // so over plain FTP, with the warning the caller logs.
    session.Security = SecurityOf(SessionOption(run, step, "FtpSecurity"), server,
                                  stepUser.empty() && !IsAnonymous(session.User));
    session.Tls.Verify = CertificateCheckOf(run, step, "FtpVerify");
    session.Tls.CAFile = FileOption(run, step, "FtpCAFile");
    session.KeyFile = FileOption(run, step, "FtpKeyFile");
    session.KnownHosts = FileOption(run, step, "FtpKnownHosts");
    session.ConnectTimeoutMs = static_cast<unsigned>(TimeoutOf(run, step, "FtpConnectTimeout", 30));
    if (session.User.empty()) return session;
    session.Secret = step.Get("Password");
    if (stepUser.empty() || session.Secret.empty()) {
        session.Secret =
            SessionSecret(run, step, "FtpPassword", "FtpPasswordCommand", "FTP password command");
    }
    return session;
}

void ApplyFtpSession(const FtpSession& session, CFTPTransferer& transferer) {
    transferer.Server = session.Server;
    transferer.Security = session.Security;
    transferer.Tls = session.Tls;
    transferer.UserName = session.User;
    transferer.Password = session.Secret;
    transferer.KeyFile = session.KeyFile;
    transferer.KnownHosts = session.KnownHosts;
    transferer.ConnectTimeoutMs = session.ConnectTimeoutMs;
}

bool SendsPasswordInClear(const FtpSession& session) {
    return session.Security == FtpSecurity::None && !IsAnonymous(session.User);
}

}  // namespace orvik
