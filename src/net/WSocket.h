// A thin blocking TCP client socket for the mail client: connect by name, send everything, wait
// for data with a time-out, receive what is there. Failures raise CWSocketException with the
// system's error code, so the caller can tell a refused connection from a lost one.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// A socket failure: resolution, connect, send, receive or wait.
class CWSocketException : public std::runtime_error {
  public:
    // `errorCode` is an errno value, or a getaddrinfo code (EAI_*, negative) for resolution.
    CWSocketException(int errorCode, const std::string& message);
    // The system's error code the failure carried.
    int GetErrorCode() const { return errorCode_; }

  private:
    int errorCode_;
};

class CWSocket {
  public:
    CWSocket() = default;
    // Closes the socket when open.
    ~CWSocket();
    CWSocket(CWSocket&& other) noexcept;
    CWSocket& operator=(CWSocket&& other) noexcept;
    CWSocket(const CWSocket&) = delete;
    CWSocket& operator=(const CWSocket&) = delete;

    // Resolves `host` (a numeric address is used as it stands) and connects to `port`, trying
    // each resolved address in turn for at most `timeoutMs` in all (negative: the system's own
    // limit, minutes for a server that never answers). Throws CWSocketException (resolution,
    // the last connect failure, or ETIMEDOUT naming the time-out); a socket already open is
    // closed first.
    void Connect(const std::string& host, int port, int timeoutMs = -1);

    // Sends all of `data`, waiting at most `timeoutMs` (negative: no limit) each time the peer
    // stops taking data. Throws CWSocketException on failure or time-out (ETIMEDOUT); a closed
    // peer gives EPIPE or ECONNRESET, never a signal.
    void Send(std::string_view data, int timeoutMs = -1);

    // Receives at most `size` bytes into `buffer`; 0 means the peer closed the connection.
    // Throws CWSocketException.
    size_t Receive(char* buffer, size_t size);

    // True when data (or the peer's close) is waiting, within `timeoutMs` (negative: no limit).
    // Throws CWSocketException when the wait itself fails.
    bool IsReadable(int timeoutMs);

    // Closes the socket; harmless when not open.
    void Close();

    bool IsOpen() const { return fd_ >= 0; }
    // The descriptor, for a TLS session layered on the connection (-1 when closed).
    int Handle() const { return fd_; }

  private:
    int fd_ = -1;
};
