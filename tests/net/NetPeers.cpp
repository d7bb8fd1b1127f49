#include "net/NetPeers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace orvik::test {
namespace {

constexpr char kPython[] = "/usr/bin/python3";

// Starts the interpreter on `script`; its standard output goes into the returned descriptor.
pid_t Spawn(const std::string& script, const std::vector<std::string>& arguments, int& output) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        std::vector<std::string> all = {kPython, script};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : all) argv.push_back(argument.data());
        argv.push_back(nullptr);
        execv(kPython, argv.data());
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return -1;
    }
    output = fds[0];
    return pid;
}

}  // namespace

std::string NetScript(const std::string& name) {
    const char* sourceDir = std::getenv("ORVIK_TEST_SOURCE_DIR");
    if (sourceDir && *sourceDir) return std::string(sourceDir) + "/tests/net/" + name;
    return (std::filesystem::path(__FILE__).parent_path() / name).string();
}

UnansweredPort::UnansweredPort() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 0) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    // The kernel keeps one connection more than the backlog; a few more make sure.
    for (int i = 0; i < 4; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) return;
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers_.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    port_ = ntohs(address.sin_port);
}

UnansweredPort::~UnansweredPort() {
    for (const int fd : fillers_) close(fd);
    if (listener_ >= 0) close(listener_);
}

PeerProcess::PeerProcess(const std::string& script, const std::vector<std::string>& arguments) {
    int output = -1;
    pid_ = Spawn(NetScript(script), arguments, output);
    if (pid_ < 0) {
        problem_ = std::string("cannot start ") + kPython + ": " + std::strerror(errno);
        return;
    }
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{output, POLLIN, 0};
        if (left.count() <= 0 || poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            problem_ = script + " did not report its port within 15 s";
            break;
        }
        char buffer[64];
        const ssize_t got = read(output, buffer, sizeof buffer);
        if (got <= 0) {
            problem_ = script + " ended before serving (are its Python packages installed?)";
            break;
        }
        line.append(buffer, static_cast<size_t>(got));
    }
    close(output);
    if (problem_.empty()) port_ = std::atoi(line.c_str());
    if (port_ <= 0 && problem_.empty()) problem_ = script + " reported no port: " + line;
}

PeerProcess::~PeerProcess() {
    if (pid_ <= 0 || reaped_) return;
    kill(pid_, SIGTERM);
    if (!WaitForExit(3000)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool PeerProcess::WaitForExit(int timeoutMs) {
    if (pid_ <= 0 || reaped_) return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            reaped_ = true;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string RunPython(const std::string& script, const std::vector<std::string>& arguments,
                      int& status) {
    int output = -1;
    const pid_t pid = Spawn(NetScript(script), arguments, output);
    status = -1;
    if (pid < 0) return {};
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(output, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    close(output);
    int waitStatus = 0;
    waitpid(pid, &waitStatus, 0);
    status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    return text;
}

std::map<std::string, std::string> MimeSummary(const std::string& emlPath) {
    int status = 0;
    const std::string text = RunPython("mime_summary.py", {emlPath}, status);
    std::map<std::string, std::string> facts;
    if (status != 0) {
        facts["error"] = "mime_summary.py failed with status " + std::to_string(status);
        return facts;
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string value;
        for (size_t i = equals + 1; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                const char next = line[++i];
                value += next == 'r' ? '\r' : next == 'n' ? '\n' : next;
            } else {
                value += line[i];
            }
        }
        facts[line.substr(0, equals)] = value;
    }
    return facts;
}

std::string MissingTlsPeers() {
    if (std::system("command -v openssl >/dev/null 2>&1") != 0) return "the openssl command";
    if (std::system((std::string(kPython) + " -c 'import aiosmtpd' >/dev/null 2>&1").c_str()) !=
        0) {
        return "python3-aiosmtpd (for " + std::string(kPython) + ")";
    }
    return {};
}

bool UnderCi() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

bool MakeTestCertificates(const std::string& folder) {
    // The folder is the test's own TempDir: no quoting beyond the single quotes is needed.
    const std::string command = "/bin/sh '" + NetScript("make_certs.sh") + "' '" + folder + "'";
    return std::system(command.c_str()) == 0;
}

std::string Hex(const std::string& bytes) {
    std::string hex;
    for (unsigned char c : bytes) {
        hex += "0123456789abcdef"[c >> 4];
        hex += "0123456789abcdef"[c & 15];
    }
    return hex;
}

}  // namespace orvik::test
