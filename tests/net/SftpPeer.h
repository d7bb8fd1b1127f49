// An OpenSSH sshd for the SFTP tests: started on a free loopback port with a host key, a client
// key and a configuration of its own in a temporary folder, serving SFTP (internal-sftp, starting
// in its own folder) to the account the tests run as, by key only. Password logins are not
// offered: the accounts a container has (root) usually have no password that could be used.
#pragma once

#include <sys/types.h>

#include <string>

namespace orvik::test {

class SftpPeer {
  public:
    // Makes the keys and the configuration in `folder` (with its trailing "/") and starts sshd,
    // waiting until it listens.
    explicit SftpPeer(const std::string& folder);
    // Stops sshd (SIGTERM, then SIGKILL) unless it has already ended.
    ~SftpPeer();
    SftpPeer(const SftpPeer&) = delete;
    SftpPeer& operator=(const SftpPeer&) = delete;

    // False when sshd did not come up; Problem() says why.
    bool Started() const { return port_ > 0; }
    const std::string& Problem() const { return problem_; }
    int Port() const { return port_; }
    // The account sshd lets in: the one the tests run as.
    std::string User() const;
    // The client's private key, which sshd accepts for User().
    std::string KeyFile() const { return folder_ + "client_key"; }
    // A known-hosts file holding this server's host key.
    std::string KnownHosts() const { return folder_ + "known_hosts"; }
    // The folder an SFTP session starts in ("~/" of an sftp:// URL), with its trailing "/".
    std::string Home() const { return folder_ + "home/"; }
    // What sshd has written to its log so far.
    std::string Log();

  private:
    bool Start(int port);

    std::string folder_;
    pid_t pid_ = -1;
    int log_ = -1;
    int port_ = 0;
    std::string logText_;
    std::string problem_;
};

// An ssh-agent of the test's own, holding one key, made this process's agent (SSH_AUTH_SOCK)
// while it lives.
class SshAgent {
  public:
    // Starts the agent with its socket in `folder` and adds `keyFile` to it.
    SshAgent(const std::string& folder, const std::string& keyFile);
    // Stops the agent and gives SSH_AUTH_SOCK back its earlier value.
    ~SshAgent();
    SshAgent(const SshAgent&) = delete;
    SshAgent& operator=(const SshAgent&) = delete;

    // False when the agent did not start or refused the key; Problem() says why.
    bool Started() const { return problem_.empty(); }
    const std::string& Problem() const { return problem_; }

  private:
    pid_t pid_ = -1;
    bool hadSocket_ = false;
    std::string previousSocket_;
    std::string problem_;
};

}  // namespace orvik::test
