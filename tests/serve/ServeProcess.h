// The report server as the tests meet it: the real program started as `orvik serve` on a free
// loopback port, and a small HTTP client (libcurl) that keeps cookies the way a browser would.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace orvik::test {

struct HttpReply {
    long status = 0;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // names in lower case

    std::string Header(const std::string& name) const;
    std::vector<std::string> Headers(const std::string& name) const;
};

// Sends one request to `url`; `cookie` is the Cookie header ("" none), `body` a form body for a
// POST ("" with method GET).
HttpReply Fetch(const std::string& url, const std::string& method = "GET",
                const std::string& body = "", const std::string& cookie = "");

class ServeProcess {
  public:
    // Starts `orvik serve` with `arguments` (after "serve") and waits for its "listening" line.
    // A server that does not start has Port() 0 and its output in Output(); a test failure
    // unless `mustStart` is false.
    explicit ServeProcess(const std::vector<std::string>& arguments, bool mustStart = true);
    // Stops it with SIGTERM if it still runs.
    ~ServeProcess();
    ServeProcess(const ServeProcess&) = delete;
    ServeProcess& operator=(const ServeProcess&) = delete;

    int Port() const { return port_; }
    std::string Url(const std::string& path) const;
    // Sends SIGTERM and waits for the exit status (-1 when it had to be killed after `seconds`).
    int Terminate(int seconds = 20);
    // What the server wrote on standard error so far.
    std::string Output();

  private:
    void ReadAvailable(int waitMs);

    pid_t pid_ = -1;
    int stderr_ = -1;
    int port_ = 0;
    std::string output_;
};

// The folder of the built program (where the test binary lives).
std::string ProgramFolder();

}  // namespace orvik::test
