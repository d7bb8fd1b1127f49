#include "tasks/FtpSession.h"

#include "core/Paths.h"
#include "core/TextEncoding.h"
#include "model/OvInfoAct.h"

namespace orvik {
namespace {

FtpSecurity SecurityOf(const std::string& value, const std::string& server) {
    const std::string text = SettingWord(value);
    if (text.empty()) return FtpSecurityOfServer(server);
    if (text == "none") return FtpSecurity::None;
    if (text == "explicit") return FtpSecurity::Explicit;
    if (text == "implicit") return FtpSecurity::Implicit;
    if (text == "sftp") return FtpSecurity::Sftp;
    RefuseSetting("FtpSecurity", value, "is not one of none, explicit, implicit, sftp");
}

std::string FileOption(const COvInfoAct& step, const char* name) {
    return ToNativePath(std::string(Trim(SessionOption(step, name))));
}

}  // namespace

FtpSession ResolveFtpSession(const COvInfoAct& step, const std::string& server) {
    FtpSession session;
    session.Server = server;
    session.Security = SecurityOf(SessionOption(step, "FtpSecurity"), server);
    session.Tls.Verify = CertificateCheckOf(step, "FtpVerify");
    session.Tls.CAFile = FileOption(step, "FtpCAFile");
    session.KeyFile = FileOption(step, "FtpKeyFile");
    session.KnownHosts = FileOption(step, "FtpKnownHosts");
    const std::string stepUser = step.Get("User");
    session.User = stepUser.empty() ? SessionOption(step, "FtpUser") : stepUser;
    if (session.User.empty()) return session;
    session.Secret = step.Get("Password");
    if (stepUser.empty() || session.Secret.empty()) {
        session.Secret =
            SessionSecret(step, "FtpPassword", "FtpPasswordCommand", "FTP password command");
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
}

bool SendsPasswordInClear(const FtpSession& session) {
    const std::string user = SettingWord(session.User);
    return session.Security == FtpSecurity::None && !user.empty() && user != "anonymous" &&
           user != "ftp";
}

}  // namespace orvik
