// TLS for the mail client: one client session over a socket that is already connected (from its
// first byte, or after the server agreed to STARTTLS). The server's certificate is checked against
// the system's CA store, plus one extra CA file when the user trusts a private CA, and against the
// host name the user typed. Reads and writes wait at most a time-out, as the plain socket does;
// failures raise CTlsException with OpenSSL's reason and, for a refused certificate, why it was
// refused.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

// A TLS failure: handshake, certificate, read or write.
class CTlsException : public std::runtime_error {
  public:
    explicit CTlsException(const std::string& message) : std::runtime_error(message) {}
};

// How the server's certificate is checked.
struct TlsOptions {
    std::string CAFile;  // trusted besides the system's CAs when not empty
    bool Verify = true;  // false accepts any certificate (the caller must say so in the log)
};

class CTlsChannel {
  public:
    CTlsChannel() = default;
    // Frees the session without a close_notify; the socket is the caller's.
    ~CTlsChannel();
    CTlsChannel(const CTlsChannel&) = delete;
    CTlsChannel& operator=(const CTlsChannel&) = delete;

    // Runs the client handshake over the connected socket `fd` (made non-blocking here) for
    // `host`, waiting at most `timeoutMs`. Throws CTlsException (an unreadable CA file, a
    // refused certificate, a handshake failure or time-out); the channel is then closed.
    void Handshake(int fd, const std::string& host, const TlsOptions& options, int timeoutMs);

    // Sends all of `data`, waiting at most `timeoutMs` each time the peer stops taking data.
    // Throws CTlsException.
    void Send(std::string_view data, int timeoutMs);

    // True when decrypted data (or the peer's close) is waiting, within `timeoutMs`.
    // Throws CTlsException.
    bool IsReadable(int timeoutMs);

    // Receives at most `size` bytes; 0 means the peer closed the session. Call after IsReadable
    // said true. Throws CTlsException.
    size_t Receive(char* buffer, size_t size);

    // Sends close_notify when the session is healthy and frees it; never throws.
    void Close();

    bool IsOpen() const { return ssl_ != nullptr; }
    // What the certificate check found ("ok" or OpenSSL's text for the failure); meaningful
    // after a handshake, also one run without verification.
    const std::string& GetVerification() const { return verification_; }
    // The negotiated protocol, e.g. "TLSv1.3".
    std::string GetProtocol() const;

  private:
    // Waits for the socket as OpenSSL's last `result` asks; false on time-out.
    bool WaitFor(int result, int timeoutMs);
    [[noreturn]] void Fail(const std::string& what, int result);

    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
    int fd_ = -1;
    bool broken_ = false;
    std::string verification_;
};
