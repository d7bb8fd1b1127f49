// The mail client's connection: the SMTP command dialogue over one TCP connection. Connect greets
// with EHLO (HELO for a server that refuses it), secures the session as asked (TLS from the first
// byte, or STARTTLS when offered or required) and logs in when a user is set; SendMessage hands
// over one message (envelope, header block, MIME body), Disconnect says QUIT. The connect waits at
// most the connect time-out, every command at most the reply time-out for its reply (QUIT a few
// seconds); a reply other than the expected one raises CZelSMTPException with the server's reply,
// a socket failure CWSocketException. Secrets go to the server only: no error text ever holds
// what the client sent, and a login never goes out unencrypted unless security is None.
#pragma once

#include <functional>

#include "core/LanguageTexts.h"

#include <string>
#include <string_view>
#include <vector>

#include "net/TlsChannel.h"
#include "net/WSocket.h"
#include "net/ZelSMTPMessage.h"

// How the session is secured.
enum class MailSecurity {
    None,              // plain text throughout
    StartTls,          // STARTTLS when the server offers it, plain text otherwise (but never
                       // a login: that fails when the server does not offer STARTTLS)
    StartTlsRequired,  // STARTTLS or nothing: no command after EHLO goes out unencrypted
    Tls,               // TLS from the first byte (the port 465 way)
};

// Which login mechanism is used when a user is set.
enum class MailAuthMethod {
    Auto,  // the best the server offers among PLAIN and LOGIN
    Plain,
    Login,
    XOAuth2,  // the secret is an OAuth access token
};

// What the server announced in its EHLO reply.
struct SmtpCapabilities {
    bool Extended = false;  // EHLO was accepted (else HELO was used and nothing is known)
    bool StartTls = false;
    bool EightBitMime = false;
    bool Size = false;
    unsigned long long SizeLimit = 0;         // 0: no limit named
    std::vector<std::string> AuthMechanisms;  // upper case, as offered
};

class CZelSMTPConnection {
  public:
    static constexpr int kDefaultPort = 25;
    static constexpr int kDefaultTimeoutMs = 90000;
    static constexpr int kDefaultConnectTimeoutMs = 30000;
    // QUIT asks nothing of the server that matters: a server silent about it has the message
    // already, or never will, and is not waited for long.
    static constexpr int kQuitTimeoutMs = 5000;

    // The HELO name becomes the local host name (or stays "auto" when the system has none).
    CZelSMTPConnection();
    // Disconnects gracefully when still connected; never throws.
    ~CZelSMTPConnection();
    CZelSMTPConnection(const CZelSMTPConnection&) = delete;
    CZelSMTPConnection& operator=(const CZelSMTPConnection&) = delete;

    // Connects to `server` ("host", "host:port", or a "smtp://" / "smtps://" URL whose scheme
    // only chooses the default port; without a port, `port`), secures the session as
    // SetSecurity says, reads the 220 greeting, says EHLO (HELO after a 5xx refusal) and logs in
    // when SetLogin named a user: over TLS, or in clear with a warning in the log when security
    // is None (nothing else sends a secret unencrypted). Throws CWSocketException when the
    // server cannot be reached (ETIMEDOUT after the connect time-out), or CZelSMTPException after
    // closing the connection: 412 (greeting), 417 (HELO), 451 (EHLO), 452 (STARTTLS required,
    // not offered), 453 (STARTTLS refused), 454 (TLS failed, also a refused certificate), 455 (no
    // usable login mechanism), 456 (login refused), 457 (no reply within the time-out), 458 (a
    // login and no STARTTLS offered), 448 (the server hung up); std::logic_error when already
    // connected. After a TLS failure nothing more is sent.
    void Connect(const std::string& server, int port = kDefaultPort);

    // Sends `message` to its To, Cc and Bcc recipients, with SIZE= and BODY=8BITMIME on MAIL FROM
    // when the server offers them (the latter only when the message has 8-bit text). Throws
    // CZelSMTPException 419 (MAIL FROM), 424 (RCPT TO), 420 (DATA), 421 (end of message), 448
    // (server hung up), 457 (no reply within the time-out), or a system error (no recipients, an
    // address with control characters, an attachment that cannot be read; these before anything is
    // sent); CWSocketException on socket failures; std::logic_error when not connected. After a
    // failure while the message text was being sent the connection is closed, so the server
    // discards the partial message; after any other failure it stays open.
    void SendMessage(const CZelSMTPMessage& message);

    // Closes the connection; `graceful` says QUIT first and waits for its reply at most
    // kQuitTimeoutMs (or the reply time-out when shorter). Throws CZelSMTPException 418 when
    // QUIT is answered other than 221, 457 when not at all (the connection is closed all the
    // same), CWSocketException on socket failures. Harmless when not connected.
    void Disconnect(bool graceful = true);

    bool IsConnected() const { return connected_; }

    // How the next Connect secures the session (default None).
    void SetSecurity(MailSecurity security) { security_ = security; }
    MailSecurity GetSecurity() const { return security_; }
    // How the server's certificate is checked (default: system CAs, verified).
    void SetTlsOptions(const TlsOptions& options) { tlsOptions_ = options; }
    // Log in as `user` with `secret` (password or token) on the next Connect; an empty user
    // logs in not at all.
    void SetLogin(const std::string& user, const std::string& secret, MailAuthMethod method) {
        user_ = user;
        secret_ = secret;
        authMethod_ = method;
    }

    // What the server announced (after Connect).
    const SmtpCapabilities& GetCapabilities() const { return capabilities_; }
    // True while the session runs over TLS.
    bool IsEncrypted() const { return tls_.IsOpen(); }
    // The certificate check's result of the TLS session ("ok" or why it would fail).
    const std::string& GetTlsVerification() const { return tls_.GetVerification(); }
    // The login mechanism used by the last Connect ("" when none).
    const std::string& GetAuthMechanism() const { return usedMechanism_; }

    // How long a command waits for its reply, in milliseconds (default 90000).
    void SetTimeout(int milliseconds) { timeoutMs_ = milliseconds; }
    int GetTimeout() const { return timeoutMs_; }
    // How long Connect waits for the server to take the connection, in milliseconds (default
    // 30000; negative: the system's own limit).
    void SetConnectTimeout(int milliseconds) { connectTimeoutMs_ = milliseconds; }
    int GetConnectTimeout() const { return connectTimeoutMs_; }

    void SetHeloHostname(const std::string& name) { heloHostname_ = name; }
    const std::string& GetHeloHostname() const { return heloHostname_; }

    // The last reply as received (all its lines, CRLF included) and its code (0 when none).
    const std::string& GetLastCommandResponse() const { return lastResponse_; }
    int GetLastCommandResponseCode() const { return lastResponseCode_; }

  protected:
    // Reads one complete reply into the last reply, waiting at most `timeoutMs` (the reply
    // time-out when negative); false when the reply grew past any sensible length. Throws
    // CZelSMTPException 457 naming the command when the time-out passed first (the connection
    // is closed then), 448 when the server closed the connection; CWSocketException on socket
    // failures.
    bool ReadResponse(int timeoutMs = -1);
    // ReadResponse and a check of the code against `expected` (or `alternative`).
    bool ReadCommandResponse(int expected, int alternative = -1, int timeoutMs = -1);
    // Sends a command (its verb is remembered for the message of a reply that never comes);
    // throws CWSocketException.
    void SendText(std::string_view text);
    // Sends protocol text as it stands (the message's own text); throws CWSocketException.
    void SendRaw(std::string_view text);

  public:
    // The texts protocol errors are told in (built-in English when none are given); not owned.
    void SetTexts(const CLanguageTexts* texts) { texts_ = texts; }
    // Where the connection's warnings go (a password about to cross unencrypted); none: dropped.
    void SetLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }

  private:
    const CLanguageTexts& Texts() const { return texts_ ? *texts_ : BuiltinLanguage(); }
    void Log(const std::string& line) const {
        if (log_) log_(line);
    }
    const CLanguageTexts* texts_ = nullptr;
    std::function<void(const std::string&)> log_;

    void StartTls();
    void SayHello();
    void SecureAfterHello();
    void LogIn();
    void SendEnvelope(const CZelSMTPMessage& message);
    void SendData(const CZelSMTPMessage& message);
    [[noreturn]] void Fail(const std::string& tlsError);

    CWSocket socket_;
    CTlsChannel tls_;
    MailSecurity security_ = MailSecurity::None;
    TlsOptions tlsOptions_;
    std::string user_;
    std::string secret_;
    MailAuthMethod authMethod_ = MailAuthMethod::Auto;
    SmtpCapabilities capabilities_;
    std::string host_;
    std::string serverName_;  // "host:port", for messages
    std::string usedMechanism_;
    bool tlsFailed_ = false;  // the stream is unusable: nothing more may be sent
    bool connected_ = false;
    std::string heloHostname_ = "auto";
    int timeoutMs_ = kDefaultTimeoutMs;
    int connectTimeoutMs_ = kDefaultConnectTimeoutMs;
    std::string awaiting_;  // what the next reply answers, for a server that gives none
    int lastResponseCode_ = 0;
    std::string lastResponse_;
};
