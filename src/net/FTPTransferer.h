// Uploads one local file to an FTP server: login (anonymous or named), passive or active data
// connection, binary or ASCII type, the file sent in chunks with progress after each. The
// connection may be plain FTP, FTPS (AUTH TLS on the usual port, or TLS from the first byte) or
// SFTP; an encrypted one is never allowed to fall back to clear text, a server certificate is
// checked unless the caller turns that off, and an SFTP host key must already be in the
// known-hosts file. The protocol work is libcurl's; this class keeps the program's own contract
// around it: a boolean result, and on failure one of the program's messages (310-320) through
// HandleError, with the server's own reply as the detail wherever the server gave one.
// UxFTPTransferer turns that into the one readable text the delivery step reports.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "net/TlsChannel.h"

// How the connection to the server is made.
enum class FtpSecurity {
    Auto,      // as the server is written: "ftps://" implicit, "sftp://" SFTP, else plain FTP
    None,      // plain FTP: login and data in clear text
    Explicit,  // FTP on its usual port, switched to TLS with AUTH TLS before the login
    Implicit,  // TLS from the first byte (port 990 unless the server names another)
    Sftp,      // the SSH file transfer protocol (port 22 unless the server names another)
};

// The security a server written as `server` asks for on its own: Implicit for "ftps://",
// Sftp for "sftp://" (either case), None otherwise.
FtpSecurity FtpSecurityOfServer(std::string_view server);

class CFTPTransferer {
  public:
    static constexpr unsigned short kDefaultPort = 21;
    static constexpr unsigned short kDefaultImplicitPort = 990;
    static constexpr unsigned short kDefaultSftpPort = 22;
    static constexpr unsigned kDefaultReplyTimeoutSeconds = 90;

    // A transferer with the defaults below; set the fields, then call Upload, once per file.
    CFTPTransferer();
    virtual ~CFTPTransferer();
    CFTPTransferer(const CFTPTransferer&) = delete;
    CFTPTransferer& operator=(const CFTPTransferer&) = delete;

    // Sends LocalFile to the server as RemoteFile (relative to the login folder; a name with
    // folders goes into existing folders; a leading "/" makes it absolute). True when the whole
    // file was sent; on failure HandleError has been called with the message id and detail, and
    // false is returned. Never throws. The Download flag is not consulted.
    bool Upload();

    bool Download = true;                // the program only uploads, and sets it false
    std::string Server;                  // host, "host:port", or with a scheme ("ftps://host")
    std::string UserName;                // empty: anonymous login
    std::string Password;                // never written anywhere
    unsigned short Port = kDefaultPort;  // used when Server names no port
    bool Binary = true;                  // false: ASCII type, lone LF sent as CRLF
    bool Passive = false;                // passive-mode data connections (FTPS: always)
    unsigned ConnectTimeoutMs = 0;       // 0: no limit of our own
    // How long a silent server may leave a reply, or the data connection, waiting before the
    // upload fails; an unattended run must not hang on it. The same default as for mail.
    unsigned ReplyTimeoutSeconds = kDefaultReplyTimeoutSeconds;
    std::string LocalFile;       // a backslash counts as "/"
    std::string RemoteFile;      // empty: the local file's name
    std::string UserAgent;       // kept for callers; FTP sends none
    int ConnectionType = 0;      // 0: the environment's proxy settings; 1: direct
    unsigned BufferSize = 1024;  // bytes read from the file at a time
    unsigned LastError = 0;      // errno or libcurl code of the last failure
    int LastMessageId = 0;       // the message of the last failure, 0 after a success
    FtpSecurity Security = FtpSecurity::Auto;
    TlsOptions Tls;          // certificate checks of FTPS (CAFile is trusted besides the system's)
    std::string KeyFile;     // SFTP private key; with none and no password the ssh agent is asked
    std::string KnownHosts;  // SFTP host keys; empty: ~/.ssh/known_hosts
    // After an upload over TLS: "ok", or what the certificate check found against the server's
    // certificate (also when Tls.Verify is off, so that the caller can say what was let pass).
    std::string TlsVerification;

    // The security this upload uses: Security, or for Auto what the server's scheme asks for.
    FtpSecurity EffectiveSecurity() const;
    // Where the upload goes, for messages: "scheme://host:port" with the port in effect.
    std::string Endpoint() const;

  protected:
    // Reports a failure: `messageId` is one of 310-320, `detail` the reason (the server's reply
    // when it gave one, else the system's or libcurl's text). Does nothing here.
    virtual void HandleError(int messageId, const std::string& detail);
    // Reports a status message id (314 when the data starts to flow). Does nothing here.
    virtual void SetStatus(int messageId);
    // Reports the bytes read from the file so far and its size, after each chunk.
    virtual void OnProgress(std::uint64_t bytesSoFar, std::uint64_t totalBytes);

  private:
    // Notes `messageId` as the last failure and hands it to HandleError.
    void Fail(int messageId, const std::string& detail);

    // The upload's libcurl callbacks report through the hooks above.
    friend struct FTPUploadState;
};

// The transferer the delivery step uses: the failure of the last upload as one readable line.
class CLanguageTexts;

class UxFTPTransferer : public CFTPTransferer {
  public:
    // The message with the detail in place of "%1", without carriage returns or line feeds.
    std::string ErrorText;
    // The texts the messages are told in; not owned, null = built-in English.
    const CLanguageTexts* Texts = nullptr;

  protected:
    void HandleError(int messageId, const std::string& detail) override;
};

// Message ids of the transferer.
enum FTPTransfererMessage : int {
    FTP_SESSION_FAILED = 310,
    FTP_CONNECT_FAILED = 311,
    FTP_REMOTE_FILE_FAILED = 312,
    FTP_UPLOADING = 314,
    FTP_WRITE_FAILED = 315,
    FTP_LOCAL_FILE_FAILED = 317,
    FTP_LOCAL_READ_FAILED = 320,
};
