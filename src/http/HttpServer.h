// A small HTTP/1.1 server for the programs that serve over the network (the XMLA server and the
// report server). It stands on libmicrohttpd: one listening socket polled with epoll by a fixed
// pool of threads, so thousands of idle or slow connections cost a file descriptor each, not a
// thread, and are closed after the idle time-out. The handler runs on those threads, concurrently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvik::http {

// Where a server listens: "127.0.0.1:8080", "[::1]:8080", "0.0.0.0:80", "localhost:8080".
struct ListenAddress {
    std::string host = "127.0.0.1";
    uint16_t port = 0;  // 0: any free port, read back with HttpServer::Port()

    bool IsLoopback() const;
    std::string ToString() const;
};

// Throws std::invalid_argument with a message naming what is wrong with `text`.
ListenAddress ParseListenAddress(std::string_view text);

struct BasicCredentials {
    std::string user;
    std::string password;
};

using NameValues = std::vector<std::pair<std::string, std::string>>;

struct Request {
    std::string method;   // "GET", "POST", ...
    std::string rawPath;  // the path as sent, still percent-encoded, without the query
    std::string path;     // percent-decoded; a decoded '/' or NUL makes the request a 400 before
                          // any handler sees it
    NameValues query;     // decoded query arguments, in order
    NameValues headers;   // as sent; look up with Header()
    std::string body;     // whole body, at most ServerOptions::maxRequestBytes
    std::string peerAddress;
    bool secure = false;                    // arrived over TLS
    std::optional<BasicCredentials> basic;  // the Authorization: Basic credentials, when sent

    // Case-insensitive; "" when absent.
    std::string Header(std::string_view name) const;
    // The first query argument of that name; "" when absent.
    std::string Query(std::string_view name) const;
    std::vector<std::string> QueryAll(std::string_view name) const;
    // A cookie from the Cookie header; "" when absent.
    std::string Cookie(std::string_view name) const;
    // application/x-www-form-urlencoded body arguments, decoded, in order.
    NameValues Form() const;
};

struct Response {
    int status = 200;
    std::string contentType = "text/html; charset=utf-8";
    std::string body;
    std::string file;  // when not empty, this file's bytes are sent instead of the body
    NameValues headers;

    static Response Text(int status, std::string text);
    static Response Html(int status, std::string html);
    static Response Redirect(std::string location, int status = 303);
};

using Handler = std::function<Response(const Request&)>;

struct ServerOptions {
    ListenAddress listen;
    unsigned threads = 4;
    size_t maxRequestBytes = 16u << 20;  // larger bodies get 413 as soon as the length is known
    unsigned connectionLimit = 1024;     // beyond it new connections are refused at once
    unsigned idleTimeoutSeconds = 30;    // a connection that sends nothing for this long is closed
    std::string certFile;                // PEM certificate and key: both set means HTTPS
    std::string keyFile;
    // Where the server tells what went wrong outside any one response (a handler that threw, a
    // TLS handshake that failed); null: stderr.
    std::function<void(const std::string&)> onError;
};

// Raises this process's soft limit of open files to its hard limit, so that a server's
// connection limit, not the default of 1024 descriptors, is what bounds its clients. Returns the
// limit now in force.
size_t RaiseOpenFileLimit();

// Listens from construction to Stop() or destruction. The handler's exceptions become a 500 with
// a plain message (the exception text goes to the log, not to the client). Every response carries
// X-Content-Type-Options: nosniff.
class HttpServer {
  public:
    // Throws std::runtime_error naming the address and the reason when it cannot listen, or when
    // the certificate or key cannot be read.
    HttpServer(ServerOptions options, Handler handler);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    uint16_t Port() const;
    bool Secure() const;
    // Stops accepting, waits for the handlers running now, closes every connection. Idempotent.
    void Stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvik::http
