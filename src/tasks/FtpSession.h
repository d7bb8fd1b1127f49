// How an FTP step reaches its server: the server as written, plain FTP, FTPS (explicit or
// implicit) or SFTP, the login, the certificate checks and the SSH host keys, each taken from the
// step's own property when that is not empty and from the program setting otherwise. The step's
// User and Password are its login; FtpUser and FtpPassword (or FtpPasswordCommand) stand in
// when it names none.
#pragma once

namespace orvik {
class Run;
}

#include <string>

#include "net/FTPTransferer.h"
#include "tasks/SessionSettings.h"

class COvInfoAct;

namespace orvik {

// An FTP session setting that cannot be used: its text says which and why (never a secret).
using FtpSessionError = SessionSettingError;

struct FtpSession {
    std::string Server;                        // as written, scheme included
    FtpSecurity Security = FtpSecurity::None;  // never Auto
    TlsOptions Tls;
    std::string User;                   // empty: anonymous (FTP) or the local account (SFTP)
    std::string Secret;                 // goes to the server only
    std::string KeyFile;                // SFTP private key
    std::string KnownHosts;             // SFTP host keys; empty: ~/.ssh/known_hosts
    unsigned ConnectTimeoutMs = 30000;  // 0: libcurl's own limit
};

// Resolves the session for `step` and `server`. An empty FtpSecurity follows the way the server
// is written, except that an FtpUser login to a plain FTP server asks for explicit FTPS, which
// refuses to log in in clear (the step's own User of older reports still logs in over plain FTP).
// Runs the password command when one is set, a user is named and the step has no password of its
// own. Throws FtpSessionError for an unknown security, check or time-out value and for a password
// command that fails, times out or prints nothing.
FtpSession ResolveFtpSession(orvik::Run& run, const COvInfoAct& step, const std::string& server);

// Hands `session` to `transferer` before it uploads.
void ApplyFtpSession(const FtpSession& session, CFTPTransferer& transferer);

// True when the session's login would cross the network unencrypted: plain FTP with a user other
// than the anonymous ones.
bool SendsPasswordInClear(const FtpSession& session);

}  // namespace orvik
