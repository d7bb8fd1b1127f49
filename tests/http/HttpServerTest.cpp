// The servers' HTTP layer, spoken to over real loopback sockets: what reaches a handler, what a
// hostile or careless client gets, and HTTPS with a throw-away certificate.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "TestSupport.h"
#include "http/HttpServer.h"
#include "net/NetPeers.h"

using namespace orvik;
using namespace orvik::test;
using namespace orvik::http;

namespace {

int Connect(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Everything the server sends until it closes the connection or `wait` passes.
std::string ReadUntilClosed(int fd, std::chrono::milliseconds wait) {
    std::string reply;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 50) <= 0) continue;
        char buffer[4096];
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        reply.append(buffer, static_cast<size_t>(got));
    }
    return reply;
}

// One request as raw bytes, the connection closed by the client after it: the reply as sent.
std::string Exchange(uint16_t port, const std::string& bytes) {
    const int fd = Connect(port);
    if (fd < 0) return {};
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    std::string reply = ReadUntilClosed(fd, std::chrono::seconds(5));
    close(fd);
    return reply;
}

std::string Get(uint16_t port, const std::string& target, const std::string& headers = "") {
    return Exchange(
        port, "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" + headers + "\r\n");
}

// Echoes what the handler was given, one line each.
Response Echo(const Request& request) {
    std::string text = request.method + " " + request.path + "\n";
    for (const auto& [name, value] : request.query) text += "q " + name + "=" + value + "\n";
    for (const auto& [name, value] : request.Form()) text += "f " + name + "=" + value + "\n";
    text += "cookie " + request.Cookie("session") + "\n";
    if (request.basic)
        text += "basic " + request.basic->user + "/" + request.basic->password + "\n";
    text += "peer " + request.peerAddress + "\n";
    text += "body " + std::to_string(request.body.size()) + "\n";
    Response response = Response::Text(200, text);
    response.headers.emplace_back("X-Seen", request.Header("x-custom"));
    return response;
}

ServerOptions Loopback() {
    ServerOptions options;
    options.threads = 2;
    options.onError = [](const std::string&) {};
    return options;
}

}  // namespace

TEST(HttpServer, TheHandlerGetsTheRequestDecodedAndItsAnswerGoesOut) {
    HttpServer server(Loopback(), Echo);
    ASSERT_NE(server.Port(), 0);
    const std::string reply =
        Get(server.Port(), "/r/Sales%20Report?Region=North+East&x=%3Cb%3E&flag",
            "X-Custom: yes\r\nCookie: theme=dark; session=abc123\r\n"
            "Authorization: Basic dXNlcjpwYTpzcw==\r\n");
    EXPECT_NE(reply.find("HTTP/1.1 200"), std::string::npos) << reply;
    EXPECT_NE(reply.find("GET /r/Sales Report\n"), std::string::npos) << reply;
    EXPECT_NE(reply.find("q Region=North East\n"), std::string::npos);
    EXPECT_NE(reply.find("q x=<b>\n"), std::string::npos);
    EXPECT_NE(reply.find("q flag=\n"), std::string::npos);
    EXPECT_NE(reply.find("cookie abc123\n"), std::string::npos);
    EXPECT_NE(reply.find("basic user/pa:ss\n"), std::string::npos);  // only the first ':' splits
    EXPECT_NE(reply.find("peer 127.0.0.1\n"), std::string::npos);
    EXPECT_NE(reply.find("X-Seen: yes"), std::string::npos);
    EXPECT_NE(reply.find("X-Content-Type-Options: nosniff"), std::string::npos);

    const std::string form = "name=a%26b&note=x+y";
    const std::string posted =
        Exchange(server.Port(),
                 "POST /submit HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                 "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                     std::to_string(form.size()) + "\r\n\r\n" + form);
    EXPECT_NE(posted.find("f name=a&b\n"), std::string::npos) << posted;
    EXPECT_NE(posted.find("f note=x y\n"), std::string::npos);
}

TEST(HttpServer, PathsThatHideASeparatorAreRefusedBeforeTheHandler) {
    std::atomic<int> calls = 0;
    HttpServer server(Loopback(), [&](const Request& request) {
        ++calls;
        return Echo(request);
    });
    for (const char* path : {"/r/..%2F..%2Fetc%2Fpasswd", "/r/a%2fb", "/r/a%5Cb", "/r/a%00.ovk"}) {
        const std::string reply = Get(server.Port(), path);
        EXPECT_NE(reply.find("HTTP/1.1 400"), std::string::npos) << path << "\n" << reply;
    }
    EXPECT_EQ(calls, 0);
}

TEST(HttpServer, OversizedBodiesAreRefusedWithoutReadingThem) {
    ServerOptions options = Loopback();
    options.maxRequestBytes = 1000;
    std::atomic<int> calls = 0;
    HttpServer server(options, [&](const Request& request) {
        ++calls;
        return Echo(request);
    });
    // Announced as 1 GB: the answer comes before any of it is sent.
    const std::string announced = Exchange(
        server.Port(), "POST /x HTTP/1.1\r\nHost: x\r\nContent-Length: 1000000000\r\n\r\n");
    EXPECT_NE(announced.find("HTTP/1.1 413"), std::string::npos) << announced;

    // Chunked, with no length told: cut off once it outgrows the limit.
    const auto started = std::chrono::steady_clock::now();
    const int fd = Connect(server.Port());
    std::string chunked = "POST /x HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 20; ++i) chunked += "64\r\n" + std::string(100, 'a') + "\r\n";
    send(fd, chunked.data(), chunked.size(), MSG_NOSIGNAL);
    const std::string reply = ReadUntilClosed(fd, std::chrono::seconds(5));
    close(fd);
    EXPECT_EQ(reply.find("HTTP/1.1 200"), std::string::npos) << reply;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
    EXPECT_EQ(calls, 0);

    const std::string fits = Exchange(
        server.Port(),
        "POST /x HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: 1000\r\n\r\n" +
            std::string(1000, 'b'));
    EXPECT_NE(fits.find("body 1000\n"), std::string::npos) << fits;
}

TEST(HttpServer, AFailingHandlerGivesA500AndTheReasonGoesToTheLogOnly) {
    std::vector<std::string> logged;
    std::mutex logging;
    ServerOptions options = Loopback();
    options.onError = [&](const std::string& message) {
        std::lock_guard lock(logging);
        logged.push_back(message);
    };
    HttpServer server(options, [](const Request&) -> Response {
        throw std::runtime_error("secret connection string");
    });
    const std::string reply = Get(server.Port(), "/boom");
    EXPECT_NE(reply.find("HTTP/1.1 500"), std::string::npos) << reply;
    EXPECT_EQ(reply.find("secret"), std::string::npos);
    std::lock_guard lock(logging);
    for (auto& m : logged) std::cerr << "LOG " << m << "\n";
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("GET /boom failed: secret connection string"), std::string::npos);
}

TEST(HttpServer, FilesAreSentWholeAndAMissingOneIsA404) {
    TempDir dir;
    const std::string file = dir.Path() + "picture.bin";
    std::string bytes(300000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    std::ofstream(file, std::ios::binary) << bytes;
    HttpServer server(Loopback(), [&](const Request& request) {
        Response response;
        response.contentType = "application/octet-stream";
        response.file = request.path == "/there" ? file : dir.Path() + "gone.bin";
        return response;
    });
    const std::string reply = Get(server.Port(), "/there");
    ASSERT_GT(reply.size(), bytes.size());
    EXPECT_EQ(reply.substr(reply.size() - bytes.size()), bytes);
    EXPECT_NE(Get(server.Port(), "/gone").find("HTTP/1.1 404"), std::string::npos);
}

TEST(HttpServer, IdleAndSurplusConnectionsDoNotStopOthersBeingServed) {
    ServerOptions options = Loopback();
    options.connectionLimit = 50;
    options.idleTimeoutSeconds = 1;
    HttpServer server(options, Echo);
    // Clients that connect and say nothing, well past the limit.
    std::vector<int> idle;
    for (int i = 0; i < 200; ++i)
        if (const int fd = Connect(server.Port()); fd >= 0) idle.push_back(fd);
    // They are dropped after the idle time, and then the server answers as before.
    std::string reply;
    for (int attempt = 0; attempt < 40 && reply.find("HTTP/1.1 200") == std::string::npos;
         ++attempt) {
        reply = Get(server.Port(), "/after");
        if (reply.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_NE(reply.find("GET /after"), std::string::npos);
    int closedByServer = 0;
    for (const int fd : idle) {
        char byte;
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 2000) > 0 && recv(fd, &byte, 1, MSG_DONTWAIT) == 0) ++closedByServer;
        close(fd);
    }
    EXPECT_EQ(closedByServer, static_cast<int>(idle.size()));
}

TEST(HttpServer, ManyClientsAtOnceEachGetTheirOwnAnswer) {
    HttpServer server(Loopback(), Echo);
    std::atomic<int> right = 0;
    std::vector<std::thread> clients;
    for (int client = 0; client < 16; ++client)
        clients.emplace_back([&, client] {
            for (int i = 0; i < 20; ++i) {
                const std::string id = std::to_string(client) + "-" + std::to_string(i);
                if (Get(server.Port(), "/c?id=" + id).find("q id=" + id + "\n") !=
                    std::string::npos)
                    ++right;
            }
        });
    for (std::thread& client : clients) client.join();
    EXPECT_EQ(right, 16 * 20);
}

TEST(HttpServer, HttpsServesWithTheGivenCertificate) {
    TempDir dir;
    ASSERT_TRUE(MakeTestCertificates(dir.Path()));
    ServerOptions options = Loopback();
    options.certFile = dir.Path() + "good.pem";
    options.keyFile = dir.Path() + "good.key";
    HttpServer server(options, Echo);
    EXPECT_TRUE(server.Secure());

    CURL* curl = curl_easy_init();
    std::string body;
    const std::string url = "https://127.0.0.1:" + std::to_string(server.Port()) + "/tls?a=1";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, (dir.Path() + "ca.pem").c_str());
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* into) {
            static_cast<std::string*>(into)->append(data, size * count);
            return size * count;
        });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    EXPECT_EQ(curl_easy_perform(curl), CURLE_OK);
    curl_easy_cleanup(curl);
    EXPECT_NE(body.find("GET /tls\nq a=1\n"), std::string::npos) << body;

    // Plain HTTP to the HTTPS port is not answered as if it were.
    EXPECT_EQ(Get(server.Port(), "/plain").find("GET /plain"), std::string::npos);

    options.keyFile = dir.Path() + "other.key";  // not this certificate's key
    EXPECT_THROW(HttpServer(options, Echo), std::runtime_error);
}

TEST(HttpServer, ListenAddressesAreReadStrictly) {
    EXPECT_EQ(ParseListenAddress("127.0.0.1:8080").port, 8080);
    EXPECT_EQ(ParseListenAddress("[::1]:81").host, "::1");
    EXPECT_TRUE(ParseListenAddress("[::1]:81").IsLoopback());
    EXPECT_TRUE(ParseListenAddress("localhost:0").IsLoopback());
    EXPECT_TRUE(ParseListenAddress("127.3.4.5:1").IsLoopback());
    EXPECT_FALSE(ParseListenAddress("0.0.0.0:80").IsLoopback());
    EXPECT_FALSE(ParseListenAddress("[::]:80").IsLoopback());
    EXPECT_FALSE(ParseListenAddress("example.org:80").IsLoopback());
    for (const char* bad : {"8080", ":8080", "1.2.3.4:", "1.2.3.4:99999", "::1:80", "h:8x"})
        EXPECT_THROW(ParseListenAddress(bad), std::invalid_argument) << bad;

    HttpServer first(Loopback(), Echo);
    ServerOptions taken = Loopback();
    taken.listen.port = first.Port();
    try {
        HttpServer second(taken, Echo);
        ADD_FAILURE() << "two servers listened on one port";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(std::to_string(first.Port())), std::string::npos);
    }
}
