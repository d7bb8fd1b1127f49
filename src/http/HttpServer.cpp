#include "http/HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netdb.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "http/UrlCoding.h"

namespace orvik::http {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string ReadWholeFile(const std::string& path, const char* what) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf()))
        throw std::runtime_error(std::string("Cannot read the ") + what + " file " + path + ": " +
                                 std::strerror(errno));
    return text.str();
}

// The request's body as it arrives, and whether it outgrew the limit.
struct PendingRequest {
    std::string body;
    bool refused = false;
};

// Leaves URLs and arguments as sent: the server decodes them itself, so that it can tell an
// encoded '/' in a path from a real one.
size_t KeepEscapes(void*, MHD_Connection*, char* text) {
    return std::strlen(text);
}

std::optional<BasicCredentials> ParseBasic(const std::string& authorization) {
    constexpr std::string_view kScheme = "Basic ";
    if (authorization.size() <= kScheme.size() ||
        !EqualsIgnoringCase(std::string_view(authorization).substr(0, kScheme.size()), kScheme))
        return std::nullopt;
    std::string_view encoded = std::string_view(authorization).substr(kScheme.size());
    while (!encoded.empty() && encoded.front() == ' ') encoded.remove_prefix(1);
    const std::optional<std::string> decoded = Base64Decode(encoded);
    if (!decoded) return std::nullopt;
    const size_t colon = decoded->find(':');
    if (colon == std::string::npos) return std::nullopt;
    return BasicCredentials{decoded->substr(0, colon), decoded->substr(colon + 1)};
}

std::string PeerAddress(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr) return {};
    char host[NI_MAXHOST] = {};
    const socklen_t length =
        info->client_addr->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (getnameinfo(info->client_addr, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0)
        return {};
    return host;
}

}  // namespace

bool ListenAddress::IsLoopback() const {
    if (host == "localhost") return true;
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
    return false;
}

std::string ListenAddress::ToString() const {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

ListenAddress ParseListenAddress(std::string_view text) {
    const std::string shown(text);
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0)
        throw std::invalid_argument("The address \"" + shown +
                                    "\" needs a host and a port, such as 127.0.0.1:8080 or "
                                    "0.0.0.0:8080");
    std::string_view host = text.substr(0, colon);
    const std::string_view port = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string_view::npos)
        throw std::invalid_argument("Write the IPv6 address in \"" + shown +
                                    "\" in brackets, such as [::1]:8080");
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoul(std::string(port)) > 65535)
        throw std::invalid_argument("The port in \"" + shown +
                                    "\" is not a number from 0 to 65535");
    if (host.empty()) throw std::invalid_argument("The address \"" + shown + "\" has no host");
    return ListenAddress{std::string(host), static_cast<uint16_t>(std::stoul(std::string(port)))};
}

std::string Request::Header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (EqualsIgnoringCase(key, name)) return value;
    return {};
}

std::string Request::Query(std::string_view name) const {
    for (const auto& [key, value] : query)
        if (key == name) return value;
    return {};
}

std::vector<std::string> Request::QueryAll(std::string_view name) const {
    std::vector<std::string> values;
    for (const auto& [key, value] : query)
        if (key == name) values.push_back(value);
    return values;
}

std::string Request::Cookie(std::string_view name) const {
    const std::string cookies = Header("Cookie");
    std::string_view rest = cookies;
    while (!rest.empty()) {
        const size_t end = rest.find(';');
        std::string_view pair = rest.substr(0, end);
        while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
        const size_t equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == name)
            return std::string(pair.substr(equals + 1));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return {};
}

NameValues Request::Form() const {
    const std::string type = Header("Content-Type");
    if (type.rfind("application/x-www-form-urlencoded", 0) != 0) return {};
    return ParseUrlEncoded(body);
}

Response Response::Text(int status, std::string text) {
    Response response;
    response.status = status;
    response.contentType = "text/plain; charset=utf-8";
    response.body = std::move(text);
    return response;
}

Response Response::Html(int status, std::string html) {
    Response response;
    response.status = status;
    response.body = std::move(html);
    return response;
}

Response Response::Redirect(std::string location, int status) {
    Response response;
    response.status = status;
    response.contentType = "text/plain; charset=utf-8";
    response.headers.emplace_back("Location", std::move(location));
    return response;
}

size_t RaiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    return static_cast<size_t>(limit.rlim_cur);
}

struct HttpServer::Impl {
    ServerOptions options;
    Handler handler;
    std::string certificate;  // libmicrohttpd reads them from memory for as long as it runs
    std::string key;
    sockaddr_storage address{};
    std::mutex stopping;
    MHD_Daemon* daemon = nullptr;

    void Report(const std::string& message) const {
        if (options.onError)
            options.onError(message);
        else
            std::cerr << message << '\n';
    }

    static void LogFromLibrary(void* self, const char* format, va_list arguments) {
        char text[1024];
        vsnprintf(text, sizeof text, format, arguments);
        std::string message = text;
        while (!message.empty() && message.back() == '\n') message.pop_back();
        static_cast<Impl*>(self)->Report("HTTP server: " + message);
    }

    static void Completed(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
        delete static_cast<PendingRequest*>(*state);
        *state = nullptr;
    }

    MHD_Result Send(MHD_Connection* connection, Response response) const {
        MHD_Response* reply = nullptr;
        if (!response.file.empty()) {
            const int fd = open(response.file.c_str(), O_RDONLY | O_CLOEXEC);
            struct stat info {};
            if (fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
                reply = MHD_create_response_from_fd64(static_cast<uint64_t>(info.st_size), fd);
            } else {
                if (fd >= 0) close(fd);
                response = Response::Text(404, "Not found\n");
            }
        }
        if (!reply) {
            auto* owned = new std::string(std::move(response.body));
            reply = MHD_create_response_from_buffer_with_free_callback_cls(
                owned->size(), owned->data(),
                [](void* text) { delete static_cast<std::string*>(text); }, owned);
            if (!reply) {
                delete owned;
                return MHD_NO;
            }
        }
        MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, response.contentType.c_str());
        MHD_add_response_header(reply, "X-Content-Type-Options", "nosniff");
        for (const auto& [name, value] : response.headers)
            if (MHD_add_response_header(reply, name.c_str(), value.c_str()) != MHD_YES)
                Report("HTTP server: header " + name + " not sent (it holds a line break)");
        const MHD_Result queued =
            MHD_queue_response(connection, static_cast<unsigned>(response.status), reply);
        MHD_destroy_response(reply);
        return queued;
    }

    Request Build(MHD_Connection* connection, const char* url, const char* method,
                  PendingRequest& pending) const {
        Request request;
        request.method = method;
        request.rawPath = url;
        request.path = PercentDecode(request.rawPath, false);
        MHD_get_connection_values(
            connection, MHD_HEADER_KIND,
            [](void* into, MHD_ValueKind, const char* name, const char* value) {
                static_cast<NameValues*>(into)->emplace_back(name, value ? value : "");
                return MHD_YES;
            },
            &request.headers);
        MHD_get_connection_values(
            connection, MHD_GET_ARGUMENT_KIND,
            [](void* into, MHD_ValueKind, const char* name, const char* value) {
                static_cast<NameValues*>(into)->emplace_back(
                    PercentDecode(name, true), value ? PercentDecode(value, true) : std::string());
                return MHD_YES;
            },
            &request.query);
        request.body = std::move(pending.body);
        request.peerAddress = PeerAddress(connection);
        request.secure = !certificate.empty();
        request.basic = ParseBasic(request.Header("Authorization"));
        return request;
    }

    static bool HasEncodedSeparator(std::string_view rawPath) {
        for (size_t at = rawPath.find('%'); at != std::string_view::npos;
             at = rawPath.find('%', at + 1)) {
            const std::string_view code = rawPath.substr(at + 1, 2);
            if (EqualsIgnoringCase(code, "2f") || EqualsIgnoringCase(code, "5c") || code == "00")
                return true;
        }
        return false;
    }

    static MHD_Result OnRequest(void* self, MHD_Connection* connection, const char* url,
                                const char* method, const char*, const char* upload,
                                size_t* uploadSize, void** state) {
        auto& impl = *static_cast<Impl*>(self);
        auto* pending = static_cast<PendingRequest*>(*state);
        if (!pending) {
            pending = new PendingRequest;
            *state = pending;
            const char* length =
                MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Length");
            if (length && std::strtoull(length, nullptr, 10) > impl.options.maxRequestBytes) {
                pending->refused = true;
                return impl.Send(connection, impl.TooLarge());
            }
            return MHD_YES;
        }
        if (*uploadSize != 0) {
            // A body without a length (chunked) is cut off as soon as it outgrows the limit:
            // the library cannot answer in the middle of a body, and reading the rest to answer
            // 413 would be what the limit is there to prevent.
            if (pending->body.size() + *uploadSize > impl.options.maxRequestBytes) {
                impl.Report("HTTP server: a request from " + PeerAddress(connection) + " outgrew " +
                            std::to_string(impl.options.maxRequestBytes) +
                            " bytes; connection closed");
                return MHD_NO;
            }
            pending->body.append(upload, *uploadSize);
            *uploadSize = 0;
            return MHD_YES;
        }
        if (pending->refused) return MHD_YES;
        if (HasEncodedSeparator(url))
            return impl.Send(connection,
                             Response::Text(400,
                                            "Encoded slashes, backslashes and NUL are not "
                                            "accepted in a path\n"));
        Response response;
        try {
            response = impl.handler(impl.Build(connection, url, method, *pending));
        } catch (const std::exception& error) {
            impl.Report(std::string("HTTP server: ") + method + " " + url +
                        " failed: " + error.what());
            response = Response::Text(500, "Internal error; the server's log says more\n");
        }
        return impl.Send(connection, std::move(response));
    }

    Response TooLarge() const {
        return Response::Text(413, "The request is larger than this server accepts (" +
                                       std::to_string(options.maxRequestBytes) + " bytes)\n");
    }

    void Resolve() {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV | AI_PASSIVE;
        addrinfo* found = nullptr;
        const std::string port = std::to_string(options.listen.port);
        const int status = getaddrinfo(options.listen.host.c_str(), port.c_str(), &hints, &found);
        if (status != 0 || !found)
            throw std::runtime_error("Cannot listen on " + options.listen.ToString() + ": " +
                                     gai_strerror(status));
        // "localhost" may resolve to ::1 first; either is loopback, take IPv4 where both exist.
        const addrinfo* chosen = found;
        for (const addrinfo* each = found; each; each = each->ai_next)
            if (each->ai_family == AF_INET) {
                chosen = each;
                break;
            }
        std::memcpy(&address, chosen->ai_addr, chosen->ai_addrlen);
        freeaddrinfo(found);
    }
};

HttpServer::HttpServer(ServerOptions options, Handler handler) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
    impl_->handler = std::move(handler);
    Impl& impl = *impl_;
    const bool tls = !impl.options.certFile.empty() || !impl.options.keyFile.empty();
    if (tls) {
        if (impl.options.certFile.empty() || impl.options.keyFile.empty())
            throw std::runtime_error("HTTPS needs both a certificate and a key file");
        if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES)
            throw std::runtime_error("This build of libmicrohttpd cannot serve HTTPS");
        impl.certificate = ReadWholeFile(impl.options.certFile, "certificate");
        impl.key = ReadWholeFile(impl.options.keyFile, "key");
    }
    impl.Resolve();
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ERROR_LOG;
    if (impl.address.ss_family == AF_INET6) flags |= MHD_USE_IPv6;
    if (tls) flags |= MHD_USE_TLS;
    std::vector<MHD_OptionItem> items = {
        // First, or the library's own complaints about the options go to stderr.
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&Impl::LogFromLibrary), &impl},
        {MHD_OPTION_SOCK_ADDR, 0, &impl.address},
        {MHD_OPTION_CONNECTION_LIMIT, impl.options.connectionLimit, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, impl.options.idleTimeoutSeconds, nullptr},
        {MHD_OPTION_LISTEN_BACKLOG_SIZE, 1024, nullptr},
        {MHD_OPTION_UNESCAPE_CALLBACK, reinterpret_cast<intptr_t>(&KeepEscapes), nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Impl::Completed), nullptr},
    };
    if (impl.options.threads > 1)
        items.push_back({MHD_OPTION_THREAD_POOL_SIZE, impl.options.threads, nullptr});
    if (tls) {
        items.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, impl.certificate.data()});
        items.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, impl.key.data()});
    }
    items.push_back({MHD_OPTION_END, 0, nullptr});
    impl.daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &Impl::OnRequest, &impl,
                                   MHD_OPTION_ARRAY, items.data(), MHD_OPTION_END);
    if (!impl.daemon)
        throw std::runtime_error("Cannot listen on " + impl.options.listen.ToString() +
                                 (tls ? " (is the certificate and key a matching PEM pair?)"
                                      : " (is the address this machine's, and the port free?)"));
}

HttpServer::~HttpServer() {
    Stop();
}

uint16_t HttpServer::Port() const {
    std::lock_guard lock(impl_->stopping);
    if (!impl_->daemon) return 0;
    const MHD_DaemonInfo* info = MHD_get_daemon_info(impl_->daemon, MHD_DAEMON_INFO_BIND_PORT);
    return info ? info->port : 0;
}

bool HttpServer::Secure() const {
    return !impl_->certificate.empty();
}

void HttpServer::Stop() {
    std::lock_guard lock(impl_->stopping);
    if (impl_->daemon) MHD_stop_daemon(impl_->daemon);
    impl_->daemon = nullptr;
}

}  // namespace orvik::http
