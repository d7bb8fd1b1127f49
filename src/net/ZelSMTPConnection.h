// The mail client's connection: the SMTP command dialogue over one TCP connection, without
// authentication (the program mails through a relay that accepts it). Connect greets with HELO,
// SendMessage hands over one message (envelope, header block, MIME body), Disconnect says QUIT.
// Every command waits for its reply at most the reply time-out; a reply other than the expected
// one raises CZelSMTPException with the server's reply, a socket failure CWSocketException.
#pragma once

#include <string>
#include <string_view>

#include "net/WSocket.h"
#include "net/ZelSMTPMessage.h"

class CZelSMTPConnection {
  public:
    static constexpr int kDefaultPort = 25;
    static constexpr int kDefaultTimeoutMs = 90000;

    // The HELO name becomes the local host name (or stays "auto" when the system has none).
    CZelSMTPConnection();
    // Disconnects gracefully when still connected; never throws.
    ~CZelSMTPConnection();
    CZelSMTPConnection(const CZelSMTPConnection&) = delete;
    CZelSMTPConnection& operator=(const CZelSMTPConnection&) = delete;

    // Connects to `server` ("host" or "host:port"; without a port, `port`), reads the 220
    // greeting and says HELO. Throws CWSocketException when the server cannot be reached,
    // CZelSMTPException 412 (greeting) or 417 (HELO) after closing the connection with QUIT, or
    // 448 when the server hung up; std::logic_error when already connected.
    void Connect(const std::string& server, int port = kDefaultPort);

    // Sends `message` to its To, Cc and Bcc recipients. Throws CZelSMTPException 419 (MAIL
    // FROM), 424 (RCPT TO), 420 (DATA), 421 (end of message), 448 (server hung up), or a system
    // error (no recipients, an address with control characters, an attachment that cannot be
    // read; these before anything is sent); CWSocketException on socket failures;
    // std::logic_error when not connected. After a failure while the message text was being sent
    // the connection is closed, so the server discards the partial message; after any other
    // failure it stays open.
    void SendMessage(const CZelSMTPMessage& message);

    // Closes the connection; `graceful` says QUIT first. Throws CZelSMTPException 418 when QUIT
    // is not answered with 221 (the connection is closed all the same), CWSocketException on
    // socket failures. Harmless when not connected.
    void Disconnect(bool graceful = true);

    bool IsConnected() const { return connected_; }

    // How long a command waits for its reply, in milliseconds (default 90000).
    void SetTimeout(int milliseconds) { timeoutMs_ = milliseconds; }
    int GetTimeout() const { return timeoutMs_; }

    void SetHeloHostname(const std::string& name) { heloHostname_ = name; }
    const std::string& GetHeloHostname() const { return heloHostname_; }

    // The last reply as received (all its lines, CRLF included) and its code (0 when none).
    const std::string& GetLastCommandResponse() const { return lastResponse_; }
    int GetLastCommandResponseCode() const { return lastResponseCode_; }

  protected:
    // Reads one complete reply into the last reply; false when the time-out passed first (the
    // last reply then holds what had arrived). Throws CZelSMTPException 448 when the server
    // closed the connection, CWSocketException on socket failures.
    bool ReadResponse();
    // ReadResponse and a check of the code against `expected` (or `alternative`).
    bool ReadCommandResponse(int expected, int alternative = -1);
    // Sends raw protocol text; throws CWSocketException.
    void SendText(std::string_view text);

  private:
    void SendEnvelope(const CZelSMTPMessage& message);
    void SendData(const CZelSMTPMessage& message);

    CWSocket socket_;
    bool connected_ = false;
    std::string heloHostname_ = "auto";
    int timeoutMs_ = kDefaultTimeoutMs;
    int lastResponseCode_ = 0;
    std::string lastResponse_;
};
