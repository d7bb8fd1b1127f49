// How fast a large attachment goes out by mail: a message with a short HTML body and one attachment
// of random bytes (20 MB unless given), in plain SMTP and over STARTTLS. Our side is what users
// run: the real `orvik` program, as a whole process, running a report whose one task mails the
// file (and, for telling the client from the rest of the program, the mail client alone, in this
// process). The peer is the shell way of doing the same, `base64 -w 76` building the MIME message
// and `curl smtp://` sending it (`--ssl-reqd --cacert` for STARTTLS). All of them talk to the
// same sink on loopback, which answers the SMTP dialogue at once, offers STARTTLS with a
// certificate made for this run, and throws the data away, so what is measured is the sending
// side. Each side runs several times (3 unless -r says otherwise) and its quickest run counts: on
// a shared machine the slower runs measure the neighbours. Times are wall-clock, since the peer
// is several processes.
//
//   MailBench [-r runs] [--orvik PATH] [--plain | --tls] [megabytes]
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
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

#include "BenchSupport.h"
#include "net/ZelSMTPConnection.h"
#include "net/ZelSMTPMessage.h"

namespace fs = std::filesystem;

namespace {

// What the TLS comparison is held to; informational, it does not change the exit status.
constexpr double kTargetTlsRatio = 1.2;

double WallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// An SMTP server that says yes to everything and keeps nothing, one client at a time. It offers
// STARTTLS with `certificate` and `key`.
class DiscardingSink {
  public:
    DiscardingSink(const std::string& certificate, const std::string& key) {
        context_ = SSL_CTX_new(TLS_server_method());
        if (!context_ || SSL_CTX_use_certificate_chain_file(context_, certificate.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(context_, key.c_str(), SSL_FILETYPE_PEM) != 1) {
            ERR_print_errors_fp(stderr);
            std::exit(2);
        }
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
        SSL_CTX_free(context_);
    }

    int Port() const { return port_; }
    // The message bytes received by the last DATA, end mark included; 0 once Forget was called.
    long long LastMessageBytes() const { return lastMessageBytes_; }
    // Whether that message came over TLS.
    bool LastMessageEncrypted() const { return lastEncrypted_; }
    void Forget() { lastMessageBytes_ = 0; }

  private:
    // One client's stream, plain or (after STARTTLS) encrypted.
    struct Client {
        int Fd;
        SSL* Tls = nullptr;
        ~Client() {
            if (Tls) {
                SSL_shutdown(Tls);
                SSL_free(Tls);
            }
        }
        long Read(char* buffer, size_t size) {
            if (!Tls) return recv(Fd, buffer, size, 0);
            const int got = SSL_read(Tls, buffer, static_cast<int>(size));
            return got > 0 ? got : -1;
        }
        void Write(std::string_view text) {
            if (Tls) {
                SSL_write(Tls, text.data(), static_cast<int>(text.size()));
            } else if (send(Fd, text.data(), text.size(), MSG_NOSIGNAL) < 0) {
                return;
            }
        }
    };

    void Serve() {
        while (!stopping_) {
            const int client = accept(listener_, nullptr, nullptr);
            if (client < 0) return;
            Converse(client);
            close(client);
        }
    }

    void Converse(int fd) {
        Client client{fd};
        client.Write("220 sink ready\r\n");
        std::string pending;
        static char buffer[1 << 16];
        bool inData = false;
        long long dataBytes = 0;
        for (;;) {
            const long got = client.Read(buffer, sizeof buffer);
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
                lastEncrypted_ = client.Tls != nullptr;
                inData = false;
                client.Write("250 discarded\r\n");
            } else {
                pending.append(buffer, static_cast<size_t>(got));
            }
            for (size_t lineEnd = pending.find("\r\n"); !inData && lineEnd != std::string::npos;
                 lineEnd = pending.find("\r\n")) {
                std::string command = pending.substr(0, 4);
                for (char& c : command) c = static_cast<char>(std::toupper(c));
                pending.erase(0, lineEnd + 2);
                if (command == "DATA") {
                    inData = true;
                    dataBytes = static_cast<long long>(pending.size());
                    client.Write("354 go ahead\r\n");
                } else if (command == "EHLO") {
                    client.Write(client.Tls ? "250 sink\r\n" : "250-sink\r\n250 STARTTLS\r\n");
                } else if (command == "STAR" && !client.Tls) {
                    client.Write("220 go ahead\r\n");
                    pending.clear();
                    client.Tls = SSL_new(context_);
                    SSL_set_fd(client.Tls, fd);
                    if (SSL_accept(client.Tls) != 1) return;
                } else if (command == "QUIT") {
                    client.Write("221 bye\r\n");
                    return;
                } else {
                    client.Write("250 ok\r\n");
                }
            }
        }
    }

    SSL_CTX* context_ = nullptr;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<long long> lastMessageBytes_{0};
    std::atomic<bool> lastEncrypted_{false};
    std::thread thread_;
};

// One side's best run: wall seconds and the bytes the sink took (0 when a run failed).
struct Best {
    double Seconds = 1e9;
    long long Bytes = 0;
    bool Encrypted = false;
    std::string Failure;

    // Counts a run that delivered at least `expected` bytes.
    void Take(double seconds, const DiscardingSink& sink, long long expected) {
        if (sink.LastMessageBytes() < expected) {
            if (Failure.empty())
                Failure = "the sink received " + std::to_string(sink.LastMessageBytes()) +
                          " bytes, not the attachment's " + std::to_string(expected);
            return;
        }
        if (seconds < Seconds) {
            Seconds = seconds;
            Bytes = sink.LastMessageBytes();
            Encrypted = sink.LastMessageEncrypted();
        }
    }
    bool Measured() const { return Bytes > 0; }
};

// The mail client alone, in this process.
double ClientInProcess(const DiscardingSink& sink, const std::string& file, bool tls,
                       const std::string& caFile) {
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
    if (tls) {
        connection.SetSecurity(MailSecurity::StartTlsRequired);
        connection.SetTlsOptions(TlsOptions{caFile, true});
    }
    try {
        connection.Connect("127.0.0.1:" + std::to_string(sink.Port()));
        connection.SendMessage(message);
        connection.Disconnect();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "in-process client failed: %s\n", error.what());
    }
    return WallNow() - start;
}

// The report users would write: a task `Daily` whose one step mails the file (as the message's
// one part: a report without sheets has no page to send as its body).
void WriteReport(const std::string& path, int port, const std::string& file, bool tls,
                 const std::string& caFile) {
    std::string session;
    if (tls) {
        session = "\t\t<MailSecurity>starttls-required</MailSecurity>\r\n\t\t<MailCAFile>" +
                  caFile + "</MailCAFile>\r\n";
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        << "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"yes\"?>\r\n"
           "<root>\r\n\t<ACT>\r\n\t\t<Name>Daily</Name>\r\n\t</ACT>\r\n"
           "\t<ACT>\r\n\t\t<ActParent>0</ActParent>\r\n\t\t<Name>Mail</Name>\r\n"
           "\t\t<AType>SMTP</AType>\r\n\t\t<Srv>127.0.0.1:"
        << port << "</Srv>\r\n\t\t<Adr>boss@example.com</Adr>\r\n\t\t<Cont>file = " << file
        << "</Cont>\r\n\t\t<Subj>Daily report</Subj>\r\n"
        << session << "\t</ACT>\r\n</root>\r\n";
}

// The whole `orvik report /act:Daily` process, with a program folder and settings of its own.
double ProgramRun(const std::string& orvik, const std::string& folder, const std::string& report) {
    const std::string home = folder + "home";
    std::error_code error;
    fs::remove_all(home, error);
    fs::create_directories(home);
    std::ofstream(home + "/orvik.ini") << "[General]\nDefAdrFrom=reports@example.com\n";
    const std::string console = folder + "orvik.out";
    const ProcessRun run =
        RunProcess({orvik, report, "/act:Daily"},
                   {"ORVIK_HOME=" + home, "ORVIK_CONFIG=" + home + "/orvik.ini"}, console, console);
    if (!run.Succeeded()) {
        std::fprintf(stderr, "orvik ended with %s; see %s and %s/Orvik18.log\n",
                     run.Describe().c_str(), console.c_str(), home.c_str());
        std::exit(1);
    }
    return run.WallSeconds;
}

double PeerRun(const DiscardingSink& sink, const std::string& file, const std::string& folder,
               bool tls, const std::string& caFile) {
    const std::string message = folder + "message.eml";
    const std::string secure = tls ? " --ssl-reqd --cacert '" + caFile + "'" : "";
    const std::string script =
        "{ printf 'From: reports@example.com\\r\\nTo: boss@example.com\\r\\nSubject: Daily "
        "report\\r\\nMIME-Version: 1.0\\r\\nContent-Type: multipart/mixed; "
        "boundary=\"b0\"\\r\\n\\r\\n--b0\\r\\nContent-Type: text/html; "
        "charset=windows-1251\\r\\n\\r\\n<html><body><p>The report is "
        "attached.</p></body></html>\\r\\n--b0\\r\\nContent-Type: application/octet-stream; "
        "name=\"data.bin\"\\r\\nContent-Transfer-Encoding: base64\\r\\n\\r\\n'; "
        "base64 -w 76 '" +
        file + "' | sed 's/$/\\r/'; printf -- '--b0--\\r\\n'; } > '" + message + "' && curl -s" +
        secure + " smtp://127.0.0.1:" + std::to_string(sink.Port()) +
        " --mail-from reports@example.com --mail-rcpt boss@example.com -T '" + message + "'";
    const double start = WallNow();
    if (std::system(script.c_str()) != 0) {
        std::fprintf(stderr, "base64 + curl failed\n");
        std::exit(2);
    }
    return WallNow() - start;
}

void PrintBest(const char* what, const Best& best) {
    if (!best.Measured()) {
        std::printf(" %-26s failed: %s\n", what, best.Failure.c_str());
        return;
    }
    std::printf(" %-26s %7.3f s  %6.1f MB sent%s\n", what, best.Seconds, best.Bytes / 1e6,
                best.Encrypted ? " over TLS" : "");
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    long megabytes = 20;
    bool plain = true;
    bool tls = true;
    std::string orvik;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-r" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--orvik" && i + 1 < argc) {
            orvik = argv[++i];
        } else if (argument == "--plain") {
            tls = false;
        } else if (argument == "--tls") {
            plain = false;
        } else if (const long size = std::atol(argument.c_str()); size > 0) {
            megabytes = size;
        } else {
            std::fprintf(stderr,
                         "usage: MailBench [-r runs] [--orvik PATH] [--plain | --tls] "
                         "[megabytes]\n");
            return 2;
        }
    }
    if (orvik.empty()) orvik = ProgramNextToUs();
    if (access(orvik.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "MailBench: no program at %s (give one with --orvik PATH)\n",
                     orvik.c_str());
        return 2;
    }
    orvik = fs::absolute(orvik).string();

    std::string folder = (fs::temp_directory_path() / "orvik-mail-XXXXXX").string();
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
    // A certificate for this run only, its own CA, made for the address everyone connects to.
    const std::string certificate = folder + "sink.pem";
    const std::string key = folder + "sink.key";
    const std::string make =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -addext "
        "subjectAltName=IP:127.0.0.1 -keyout '" +
        key + "' -out '" + certificate + "' 2>/dev/null";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "MailBench: openssl could not make the sink's certificate\n");
        return 2;
    }

    DiscardingSink sink(certificate, key);
    std::printf("orvik: %s\n%ld MB attachment, best of %d runs, wall-clock\n", orvik.c_str(),
                megabytes, runs);
    int status = 0;
    for (const bool secure : {false, true}) {
        if ((secure && !tls) || (!secure && !plain)) continue;
        const std::string report = folder + (secure ? "tls.ovk" : "plain.ovk");
        WriteReport(report, sink.Port(), file, secure, certificate);
        // What the attachment alone comes to in base64.
        const long long expected = megabytes * (1LL << 20) / 3 * 4;
        Best program, client, peer;
        for (int run = 0; run < runs; ++run) {
            sink.Forget();
            program.Take(ProgramRun(orvik, folder, report), sink, expected);
            sink.Forget();
            client.Take(ClientInProcess(sink, file, secure, certificate), sink, expected);
            sink.Forget();
            peer.Take(PeerRun(sink, file, folder, secure, certificate), sink, expected);
        }
        std::printf("%s:\n", secure ? "STARTTLS (starttls-required, throw-away CA)" : "plain SMTP");
        PrintBest("orvik /act (whole process)", program);
        PrintBest("mail client (in-process)", client);
        PrintBest("base64 + curl (processes)", peer);
        if (!program.Measured() || !peer.Measured() || !client.Measured()) {
            status = 1;
            continue;
        }
        const double ratio = program.Seconds / peer.Seconds;
        std::printf(" ratio orvik / curl %.2f, in-process client / curl %.2f", ratio,
                    client.Seconds / peer.Seconds);
        if (secure)
            std::printf("  (target %.1f: %s)", kTargetTlsRatio,
                        ratio <= kTargetTlsRatio ? "PASS" : "MISS");
        std::printf("\n");
    }
    std::error_code error;
    fs::remove_all(folder, error);
    return status;
}
