// The real orvik-xmla program as the tests run it: started with the test's arguments on a free
// loopback port (it says which in its first line), its standard error kept line by line, and
// stopped with SIGTERM so that every test also checks that it stops cleanly.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvik::test {

class XmlaServerProcess {
  public:
    // Starts orvik-xmla with `arguments` (--listen 127.0.0.1:0 is added unless they listen
    // elsewhere) and waits up to 60 s for it to listen or end.
    explicit XmlaServerProcess(std::vector<std::string> arguments);
    // Kills it if it still runs.
    ~XmlaServerProcess();
    XmlaServerProcess(const XmlaServerProcess&) = delete;
    XmlaServerProcess& operator=(const XmlaServerProcess&) = delete;

    bool Listening() const { return port_ > 0; }
    int Port() const { return port_; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/xmla"; }
    // Everything it wrote on standard error so far.
    std::string Output() const;
    // Sends SIGTERM and waits up to 10 s; the exit status, or -1 when it had to be killed.
    int Stop();
    // Waits up to `seconds` for it to end on its own; its exit status, or -1 if it still runs.
    int WaitForExit(int seconds);
    // Whether it still runs.
    bool Running();

  private:
    void ReadOutput(int fd);

    pid_t pid_ = -1;
    int port_ = 0;
    int status_ = -1;
    bool reaped_ = false;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::string output_;
    bool outputEnded_ = false;
    std::thread reader_;
};

// The orvik-xmla program the build made.
std::string XmlaServerProgram();

}  // namespace orvik::test
