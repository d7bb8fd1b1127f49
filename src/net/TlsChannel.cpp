#include "net/TlsChannel.h"

#include <errno.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include <chrono>
#include <cstring>

#include "core/StopRequest.h"

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, rounded up so that a wait never ends early.
int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// The reasons OpenSSL queued for the last failure, oldest first; the queue is emptied.
std::string QueuedReasons() {
    std::string reasons;
    while (const unsigned long code = ERR_get_error()) {
        const char* reason = ERR_reason_error_string(code);
        char buffer[256];
        if (!reason) {
            ERR_error_string_n(code, buffer, sizeof buffer);
            reason = buffer;
        }
        if (reasons.find(reason) == std::string::npos)
            reasons += (reasons.empty() ? "" : "; ") + std::string(reason);
    }
    return reasons;
}

bool IsIpAddress(const std::string& host) {
    ASN1_OCTET_STRING* parsed = a2i_IPADDRESS(host.c_str());
    if (!parsed) return false;
    ASN1_OCTET_STRING_free(parsed);
    return true;
}

}  // namespace

CTlsChannel::~CTlsChannel() {
    broken_ = true;
    Close();
}

void CTlsChannel::Handshake(int fd, const std::string& host, const TlsOptions& options,
                            int timeoutMs) {
    Close();
    ERR_clear_error();
    fd_ = fd;
    broken_ = false;
    verification_.clear();
    context_ = SSL_CTX_new(TLS_client_method());
    if (!context_) Fail("Cannot start TLS", 0);
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    if (SSL_CTX_set_default_verify_paths(context_) != 1) Fail("Cannot read the system's CAs", 0);
    if (!options.CAFile.empty() &&
        SSL_CTX_load_verify_locations(context_, options.CAFile.c_str(), nullptr) != 1) {
        Fail("Cannot read the CA file '" + options.CAFile + "'", 0);
    }
    SSL_CTX_set_verify(context_, options.Verify ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    ssl_ = SSL_new(context_);
    if (!ssl_) Fail("Cannot start TLS", 0);
    // Host names go out as SNI; an address may not (and is matched against the certificate's
    // IP entries instead, which SSL_set1_host arranges by itself).
    if (!IsIpAddress(host) && SSL_set_tlsext_host_name(ssl_, host.c_str()) != 1)
        Fail("Cannot name the server '" + host + "'", 0);
    // Checked even when verification is off, so the warning can say what would have failed.
    if (SSL_set1_host(ssl_, host.c_str()) != 1) Fail("Cannot check the name '" + host + "'", 0);
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        Fail(std::string("Cannot prepare the socket: ") + std::strerror(errno), 0);
    }
    if (SSL_set_fd(ssl_, fd) != 1) Fail("Cannot start TLS", 0);

    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        ERR_clear_error();
        const int result = SSL_connect(ssl_);
        const long verify = SSL_get_verify_result(ssl_);
        verification_ = verify == X509_V_OK ? "ok" : X509_verify_cert_error_string(verify);
        if (result == 1) break;
        if (!WaitFor(result, MillisecondsLeft(deadline))) {
            broken_ = true;
            Fail("TLS handshake timed out", 0);
        }
    }
}

bool CTlsChannel::WaitFor(int result, int timeoutMs) {
    const int error = SSL_get_error(ssl_, result);
    short events = 0;
    if (error == SSL_ERROR_WANT_READ) {
        events = POLLIN;
    } else if (error == SSL_ERROR_WANT_WRITE) {
        events = POLLOUT;
    } else {
        Fail("", result);  // also a refused certificate
    }
    // A run asked to stop does not sit out the server's silence.
    switch (orvik::WaitForDescriptor(fd_, events, timeoutMs)) {
        case orvik::DescriptorWait::Ready:
            return true;
        case orvik::DescriptorWait::TimedOut:
            return false;
        case orvik::DescriptorWait::Stopped:
            broken_ = true;
            throw CTlsException("The run was asked to stop");
        case orvik::DescriptorWait::Failed:
            break;
    }
    broken_ = true;
    throw CTlsException(std::string("Cannot wait for the server: ") + std::strerror(errno));
}

void CTlsChannel::Fail(const std::string& what, int result) {
    std::string reason = QueuedReasons();
    if (ssl_ && result <= 0) {
        const int error = SSL_get_error(ssl_, result);
        if (error == SSL_ERROR_SYSCALL && reason.empty()) {
            reason = errno != 0 ? std::strerror(errno) : "the server closed the connection";
        } else if (error == SSL_ERROR_ZERO_RETURN) {
            reason = "the server closed the session";
        }
    }
    std::string text = what;
    if (!reason.empty()) text += (text.empty() ? "" : ": ") + reason;
    if (text.empty()) text = "unknown TLS failure";
    if (!verification_.empty() && verification_ != "ok") text += " (" + verification_ + ")";
    broken_ = true;
    Close();
    throw CTlsException(text);
}

void CTlsChannel::Send(std::string_view data, int timeoutMs) {
    if (!ssl_) throw CTlsException("Cannot send: no TLS session");
    while (!data.empty()) {
        ERR_clear_error();
        size_t written = 0;
        const int result = SSL_write_ex(ssl_, data.data(), data.size(), &written);
        if (result == 1) {
            data.remove_prefix(written);
            continue;
        }
        if (!WaitFor(result, timeoutMs)) {
            broken_ = true;
            throw CTlsException("Cannot send: the server took no data in time");
        }
    }
}

bool CTlsChannel::IsReadable(int timeoutMs) {
    if (!ssl_) throw CTlsException("Cannot receive: no TLS session");
    if (SSL_pending(ssl_) > 0) return true;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // A readable socket may hold only part of a record, or a record without data (a session
    // ticket): peek until data or the end arrives.
    for (;;) {
        ERR_clear_error();
        char byte;
        size_t got = 0;
        const int result = SSL_peek_ex(ssl_, &byte, 1, &got);
        if (result == 1) return true;
        const int error = SSL_get_error(ssl_, result);
        if (error == SSL_ERROR_ZERO_RETURN) return true;
        if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) return true;  // a bare close
        if (!WaitFor(result, MillisecondsLeft(deadline))) return false;
    }
}

size_t CTlsChannel::Receive(char* buffer, size_t size) {
    if (!ssl_) throw CTlsException("Cannot receive: no TLS session");
    for (;;) {
        ERR_clear_error();
        size_t got = 0;
        const int result = SSL_read_ex(ssl_, buffer, size, &got);
        if (result == 1) return got;
        const int error = SSL_get_error(ssl_, result);
        if (error == SSL_ERROR_ZERO_RETURN) return 0;
        if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) {
            // A peer that hangs up without close_notify: the same as a closed socket here.
            broken_ = true;
            return 0;
        }
        if (!WaitFor(result, -1)) Fail("Cannot receive", result);
    }
}

void CTlsChannel::Close() {
    if (ssl_) {
        // One try, never a wait: the peer may be gone, and the socket closes right after.
        if (!broken_) SSL_shutdown(ssl_);
        SSL_free(ssl_);
        ssl_ = nullptr;
    }
    if (context_) {
        SSL_CTX_free(context_);
        context_ = nullptr;
    }
    ERR_clear_error();
}

std::string CTlsChannel::GetProtocol() const {
    return ssl_ ? SSL_get_version(ssl_) : "";
}
