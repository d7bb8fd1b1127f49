// How fast a large attachment goes out by mail: a message with a short HTML body and one attachment
// of random bytes (20 MB unless given) is sent by the program's mail client, next to the shell way
// of doing the same, `base64 -w 76` building the MIME message and `curl smtp://` sending it. Both
// talk to the same sink on loopback, which answers the SMTP dialogue at once and throws the data
// away, so what is measured is the sending side. Each side runs several times (3 unless -r says
// otherwise) and its quickest run counts: on a shared machine the slower runs measure the
// neighbours. Times are wall-clock, since the peer is several processes.
//
//   MailBench [-r runs] [megabytes]
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <thread>

#include "net/ZelSMTPConnection.h"
#include "net/ZelSMTPMessage.h"

namespace {

double WallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// An SMTP server that says yes to everything and keeps nothing, one client at a time.
class DiscardingSink {
  public:
    DiscardingSink() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(listener_, 4) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("sink");
            std::exit(2);
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~DiscardingSink() {
        stopping_ = true;
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        thread_.join();
    }

    int Port() const { return port_; }
    // The message bytes received by the last DATA, end mark included.
    long long LastMessageBytes() const { return lastMessageBytes_; }

  private:
    void Serve() {
        while (!stopping_) {
            const int client = accept(listener_, nullptr, nullptr);
            if (client < 0) return;
            Converse(client);
            close(client);
        }
    }

    static void Reply(int client, std::string_view text) {
        if (send(client, text.data(), text.size(), MSG_NOSIGNAL) < 0) return;
    }

    void Converse(int client) {
        Reply(client, "220 sink ready\r\n");
        std::string pending;
        char buffer[1 << 16];
        bool inData = false;
        long long dataBytes = 0;
        for (;;) {
            const ssize_t got = recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            if (inData) {
                // Only the last few bytes are kept: enough to see the end mark across reads.
                dataBytes += got;
                pending.append(buffer, static_cast<size_t>(got));
                const size_t end = pending.find("\r\n.\r\n");
                if (end == std::string::npos) {
                    if (pending.size() > 4) pending.erase(0, pending.size() - 4);
                    continue;
                }
                pending.erase(0, end + 5);
                lastMessageBytes_ = dataBytes;
                inData = false;
                Reply(client, "250 discarded\r\n");
            } else {
                pending.append(buffer, static_cast<size_t>(got));
            }
            for (size_t lineEnd = pending.find("\r\n"); !inData && lineEnd != std::string::npos;
                 lineEnd = pending.find("\r\n")) {
                const std::string command = pending.substr(0, 4);
                pending.erase(0, lineEnd + 2);
                if (command == "DATA") {
                    inData = true;
                    dataBytes = static_cast<long long>(pending.size());
                    Reply(client, "354 go ahead\r\n");
                } else if (command == "QUIT") {
                    Reply(client, "221 bye\r\n");
                    return;
                } else {
                    Reply(client, "250 ok\r\n");
                }
            }
        }
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<long long> lastMessageBytes_{0};
    std::thread thread_;
};

double OurSide(const DiscardingSink& sink, const std::string& file) {
    const double start = WallNow();
    CZelSMTPMessage message;
    message.SetMime(true);
    message.SetCharset("windows-1251");
    message.From = CZelSMTPAddress("reports@example.com");
    message.To = {CZelSMTPAddress("boss@example.com")};
    message.Subject = "Daily report";
    message.AddHTMLBody("<html><body><p>The report is attached.</p></body></html>");
    message.AddAttachments(file);
    CZelSMTPConnection connection;
    connection.Connect("127.0.0.1:" + std::to_string(sink.Port()));
    connection.SendMessage(message);
    connection.Disconnect();
    return WallNow() - start;
}

double PeerSide(const DiscardingSink& sink, const std::string& file, const std::string& folder) {
    const std::string message = folder + "message.eml";
    const std::string script =
        "{ printf 'From: reports@example.com\\r\\nTo: boss@example.com\\r\\nSubject: Daily "
        "report\\r\\nMIME-Version: 1.0\\r\\nContent-Type: multipart/mixed; "
        "boundary=\"b0\"\\r\\n\\r\\n--b0\\r\\nContent-Type: text/html; "
        "charset=windows-1251\\r\\n\\r\\n<html><body><p>The report is "
        "attached.</p></body></html>\\r\\n--b0\\r\\nContent-Type: application/octet-stream; "
        "name=\"data.bin\"\\r\\nContent-Transfer-Encoding: base64\\r\\n\\r\\n'; "
        "base64 -w 76 '" +
        file + "' | sed 's/$/\\r/'; printf -- '--b0--\\r\\n'; } > '" + message +
        "' && curl -s smtp://127.0.0.1:" + std::to_string(sink.Port()) +
        " --mail-from reports@example.com --mail-rcpt boss@example.com -T '" + message + "'";
    const double start = WallNow();
    if (std::system(script.c_str()) != 0) {
        std::fprintf(stderr, "base64 + curl failed\n");
        std::exit(2);
    }
    return WallNow() - start;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    long megabytes = 20;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "-r" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            megabytes = std::max(1L, std::atol(argv[i]));
    }
    std::string folder = (std::filesystem::temp_directory_path() / "orvik-mail-XXXXXX").string();
    if (!mkdtemp(folder.data())) return 1;
    folder += "/";
    const std::string file = folder + "data.bin";
    {
        std::mt19937_64 random(42);
        std::ofstream out(file, std::ios::binary);
        std::string block(1 << 20, '\0');
        for (long mb = 0; mb < megabytes; ++mb) {
            for (size_t i = 0; i < block.size(); i += 8) {
                const std::uint64_t value = random();
                std::copy_n(reinterpret_cast<const char*>(&value), 8, block.data() + i);
            }
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }

    DiscardingSink sink;
    double ours = 1e9;
    double theirs = 1e9;
    long long ourBytes = 0;
    long long theirBytes = 0;
    for (int run = 0; run < runs; ++run) {
        ours = std::min(ours, OurSide(sink, file));
        ourBytes = sink.LastMessageBytes();
        theirs = std::min(theirs, PeerSide(sink, file, folder));
        theirBytes = sink.LastMessageBytes();
    }
    std::printf(
        "%4ld MB attachment | ours %.3f s (%.1f MB sent) | base64 + curl %.3f s (%.1f MB "
        "sent) | ratio %.2f\n",
        megabytes, ours, ourBytes / 1e6, theirs, theirBytes / 1e6, ours / theirs);
    std::filesystem::remove_all(folder);
    return 0;
}
