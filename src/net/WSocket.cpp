#include "net/WSocket.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <utility>

#include "core/StopRequest.h"

namespace {

[[noreturn]] void ThrowSystemError(int code, const std::string& what) {
    throw CWSocketException(code, what + ": " + std::strerror(code));
}

struct AddrInfoDeleter {
    void operator()(addrinfo* info) const { freeaddrinfo(info); }
};

// poll() on one descriptor that resumes after a signal (restarting its wait). A run asked to
// stop does not sit out a server's silence: the wait ends with ECANCELED.
int PollOne(int fd, short events, int timeoutMs) {
    switch (orvik::WaitForDescriptor(fd, events, timeoutMs)) {
        case orvik::DescriptorWait::Ready:
            return 1;
        case orvik::DescriptorWait::TimedOut:
            return 0;
        case orvik::DescriptorWait::Stopped:
            ThrowSystemError(ECANCELED, "The run was asked to stop");
        case orvik::DescriptorWait::Failed:
            break;
    }
    return -1;
}

}  // namespace

CWSocketException::CWSocketException(int errorCode, const std::string& message)
    : std::runtime_error(message), errorCode_(errorCode) {}

CWSocket::~CWSocket() {
    Close();
}

CWSocket::CWSocket(CWSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

CWSocket& CWSocket::operator=(CWSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void CWSocket::Connect(const std::string& host, int port, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    Close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int resolved = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (resolved != 0) {
        const int code = resolved == EAI_SYSTEM ? errno : resolved;
        throw CWSocketException(code,
                                "Cannot resolve host '" + host + "': " + gai_strerror(resolved));
    }
    std::unique_ptr<addrinfo, AddrInfoDeleter> addresses(found);
    // A server whose packets are dropped leaves a blocking connect waiting for the kernel's
    // retries (over two minutes): the connect is made non-blocking and waited for here.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int lastError = ECONNREFUSED;
    for (const addrinfo* address = found; address; address = address->ai_next) {
        const int fd =
            socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                   address->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        int result = connect(fd, address->ai_addr, address->ai_addrlen);
        if (result < 0 && (errno == EINPROGRESS || errno == EINTR)) {
            int wait = -1;
            if (timeoutMs >= 0) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
                wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
            }
            const int ready = PollOne(fd, POLLOUT, wait);
            if (ready == 0) {
                ::close(fd);
                const std::string limit = timeoutMs % 1000 == 0
                                              ? std::to_string(timeoutMs / 1000) + " s"
                                              : std::to_string(timeoutMs) + " ms";
                throw CWSocketException(ETIMEDOUT, "Cannot connect to " + host + " port " +
                                                       service + ": no answer within " + limit);
            }
            int error = 0;
            socklen_t length = sizeof error;
            if (ready < 0) {
                error = errno;
            } else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                error = errno;
            }
            result = error == 0 ? 0 : -1;
            errno = error;
        }
        if (result == 0) {
            // Sending and receiving wait on their own terms (see Send and IsReadable).
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            fd_ = fd;
            return;
        }
        lastError = errno;
        ::close(fd);
    }
    ThrowSystemError(lastError, "Cannot connect to " + host + " port " + service);
}

void CWSocket::Send(std::string_view data, int timeoutMs) {
    if (fd_ < 0) ThrowSystemError(ENOTCONN, "Cannot send");
    while (!data.empty()) {
        const ssize_t sent = send(fd_, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            data.remove_prefix(static_cast<size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            ThrowSystemError(errno, "Cannot send");
        }
        // The peer's window is full: wait for room, as long as the caller allows.
        const int ready = PollOne(fd_, POLLOUT, timeoutMs);
        if (ready < 0) ThrowSystemError(errno, "Cannot wait to send");
        if (ready == 0) ThrowSystemError(ETIMEDOUT, "Cannot send");
    }
}

size_t CWSocket::Receive(char* buffer, size_t size) {
    if (fd_ < 0) ThrowSystemError(ENOTCONN, "Cannot receive");
    for (;;) {
        const ssize_t got = recv(fd_, buffer, size, 0);
        if (got >= 0) return static_cast<size_t>(got);
        if (errno != EINTR) ThrowSystemError(errno, "Cannot receive");
    }
}

bool CWSocket::IsReadable(int timeoutMs) {
    if (fd_ < 0) ThrowSystemError(ENOTCONN, "Cannot wait for data");
    const int ready = PollOne(fd_, POLLIN, timeoutMs);
    if (ready < 0) ThrowSystemError(errno, "Cannot wait for data");
    return ready > 0;
}

void CWSocket::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}
