// The network peers the mail and FTP tests talk to: Python servers from tests/net run by
// Debian's /usr/bin/python3 (the python3 on PATH may not see Debian's packages), each on a free
// loopback port it chooses and reports as its first line of output. A peer that cannot start
// (a package missing) fails the test that needed it.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace orvik::test {

// The full path of a helper script in tests/net.
std::string NetScript(const std::string& name);

class PeerProcess {
  public:
    // Runs `script` (a file in tests/net) with `arguments` and waits up to 15 s for its port.
    PeerProcess(const std::string& script, const std::vector<std::string>& arguments);
    // Stops the peer (SIGTERM, then SIGKILL) unless it has already ended.
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // False when the peer did not come up; Problem() says why.
    bool Started() const { return port_ > 0; }
    const std::string& Problem() const { return problem_; }
    int Port() const { return port_; }
    // "127.0.0.1:<port>", the way a user names a server on another port.
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    // Waits up to `timeoutMs` for the peer to end on its own; true when it has.
    bool WaitForExit(int timeoutMs);

  private:
    pid_t pid_ = -1;
    int port_ = 0;
    bool reaped_ = false;
    std::string problem_;
};

// A loopback port whose server never takes another connection: it listens with the smallest
// backlog and that backlog is full, so a further connect's SYN goes unanswered, as with a server
// behind a firewall that drops packets.
class UnansweredPort {
  public:
    UnansweredPort();
    // Closes the listener and the connections that fill its backlog.
    ~UnansweredPort();
    UnansweredPort(const UnansweredPort&) = delete;
    UnansweredPort& operator=(const UnansweredPort&) = delete;

    // 0 when the port could not be set up.
    int Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    int listener_ = -1;
    int port_ = 0;
    std::vector<int> fillers_;
};

// Runs `script` with `arguments` through /usr/bin/python3 and returns what it printed; sets
// `status` to its exit status.
std::string RunPython(const std::string& script, const std::vector<std::string>& arguments,
                      int& status);

// What Python's email package reads in a saved message (see mime_summary.py), by key.
std::map<std::string, std::string> MimeSummary(const std::string& emlPath);

// What keeps the encrypted mail peers from running: "" when the openssl command and aiosmtpd are
// both there, else the one missing.
std::string MissingTlsPeers();

// True when the tests run under CI, where a missing peer is a failure, not a reason to skip.
bool UnderCi();

// Makes the throw-away CA and server certificates of make_certs.sh in `folder` (with its
// trailing "/"); false when openssl failed.
bool MakeTestCertificates(const std::string& folder);

// `bytes` as lower-case hex digits, the way mime_summary.py reports decoded parts.
std::string Hex(const std::string& bytes);

}  // namespace orvik::test
