#include "net/SftpPeer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "TestSupport.h"

namespace orvik::test {
namespace {

constexpr char kSshd[] = "/usr/sbin/sshd";  // sshd re-executes itself: the path must be absolute

// A port nobody listens on now. sshd cannot pick one itself, so a port that is taken again
// before sshd binds it is retried.
int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

bool MakeKey(const std::string& path) {
    const std::string command =
        "ssh-keygen -q -t ed25519 -N '' -C orvik-test -f '" + path + "' </dev/null >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

}  // namespace

SftpPeer::SftpPeer(const std::string& folder) : folder_(folder) {
    if (access(kSshd, X_OK) != 0) {
        problem_ = std::string(kSshd) + " is missing (openssh-server)";
        return;
    }
    // As root, sshd wants its privilege separation folder.
    if (geteuid() == 0) mkdir("/run/sshd", 0755);
    mkdir(Home().c_str(), 0755);
    if (!MakeKey(folder_ + "host_key") || !MakeKey(KeyFile())) {
        problem_ = "ssh-keygen could not make the test keys";
        return;
    }
    std::ofstream(folder_ + "authorized_keys") << ReadFileBytes(KeyFile() + ".pub");
    for (int attempt = 0; attempt < 5 && !Started(); ++attempt) {
        if (!Start(FreePort())) continue;
        // "type key comment": the entry is the first two words under the server's name.
        const std::string hostKey = ReadFileBytes(folder_ + "host_key.pub");
        const size_t end = hostKey.find(' ', hostKey.find(' ') + 1);
        std::ofstream(KnownHosts())
            << "[127.0.0.1]:" << port_ << " " << hostKey.substr(0, end) << "\n";
    }
}

bool SftpPeer::Start(int port) {
    if (port <= 0) {
        problem_ = "no free port";
        return false;
    }
    const std::string config = folder_ + "sshd_config";
    std::ofstream(config) << "ListenAddress 127.0.0.1\n"
                          << "Port " << port << "\n"
                          << "HostKey " << folder_ << "host_key\n"
                          << "AuthorizedKeysFile " << folder_ << "authorized_keys\n"
                          << "PubkeyAuthentication yes\n"
                          << "PasswordAuthentication no\n"
                          << "KbdInteractiveAuthentication no\n"
                          << "PermitRootLogin prohibit-password\n"
                          << "UsePAM no\n"
                          << "StrictModes no\n"
                          << "PidFile " << folder_ << "sshd.pid\n"
                          << "Subsystem sftp internal-sftp -d " << Home() << "\n";
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        problem_ = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDERR_FILENO);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        execl(kSshd, kSshd, "-D", "-e", "-f", config.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        problem_ = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string text;
    while (text.find("Server listening on") == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{fds[0], POLLIN, 0};
        char buffer[512];
        ssize_t got = 0;
        if (left.count() > 0 && poll(&entry, 1, static_cast<int>(left.count())) > 0) {
            got = read(fds[0], buffer, sizeof buffer);
        }
        if (got <= 0) {
            problem_ = "sshd did not start: " + text;
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            close(fds[0]);
            return false;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
    pid_ = pid;
    log_ = fds[0];
    logText_ = text;
    port_ = port;
    problem_.clear();
    return true;
}

SftpPeer::~SftpPeer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (waitpid(pid_, nullptr, WNOHANG) != pid_) {
            if (std::chrono::steady_clock::now() >= deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (log_ >= 0) close(log_);
}

std::string SftpPeer::User() const {
    const passwd* entry = getpwuid(getuid());
    return entry ? entry->pw_name : "";
}

std::string SftpPeer::Log() {
    pollfd entry{log_, POLLIN, 0};
    char buffer[4096];
    while (log_ >= 0 && poll(&entry, 1, 0) > 0) {
        const ssize_t got = read(log_, buffer, sizeof buffer);
        if (got <= 0) break;
        logText_.append(buffer, static_cast<size_t>(got));
    }
    return logText_;
}

SshAgent::SshAgent(const std::string& folder, const std::string& keyFile) {
    if (const char* socket = std::getenv("SSH_AUTH_SOCK")) {
        hadSocket_ = true;
        previousSocket_ = socket;
    }
    const std::string socket = folder + "agent.sock";
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        problem_ = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(fds[1], STDOUT_FILENO);
        execl("/usr/bin/ssh-agent", "ssh-agent", "-D", "-a", socket.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // It says where it listens once the socket is there.
    char buffer[256];
    pollfd entry{fds[0], POLLIN, 0};
    const bool said = pid_ > 0 && poll(&entry, 1, 10000) > 0 && read(fds[0], buffer, 1) == 1;
    close(fds[0]);
    if (!said) {
        problem_ = "ssh-agent did not start";
        return;
    }
    setenv("SSH_AUTH_SOCK", socket.c_str(), 1);
    const std::string add = "ssh-add -q '" + keyFile + "' </dev/null >/dev/null 2>&1";
    if (std::system(add.c_str()) != 0) problem_ = "ssh-add refused " + keyFile;
}

SshAgent::~SshAgent() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    if (hadSocket_) {
        setenv("SSH_AUTH_SOCK", previousSocket_.c_str(), 1);
    } else {
        unsetenv("SSH_AUTH_SOCK");
    }
}

}  // namespace orvik::test
