// A headless Chromium driven through its DevTools protocol over two pipes (the browser reads
// commands on descriptor 3 and writes replies and events on descriptor 4, each message ended by a
// NUL), so no port is opened and nothing else on the machine can talk to it.
//
// The browser runs as a child in a process group of its own, with a private profile in a fresh
// temporary folder and HOME pointed there, offline (a proxy that goes nowhere, every host name
// unresolvable, loopback not exempt), and is killed with its whole group when the deadline passes,
// when this object dies, or when this process dies (the parent-death signal): a run that is
// stopped or abandoned never leaves a browser behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "Json.h"

namespace pdf {

// Why rendering failed: the message is for the user and says what to do where it can.
class BrowserError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class HeadlessBrowser {
  public:
    using Clock = std::chrono::steady_clock;

    // The renderer to run: ORVIK_PDF_RENDERER when set, else Debian's Chromium where its package
    // puts it. Throws BrowserError naming the package to install when there is none.
    static std::string FindRenderer();

    // Starts `executable` and waits until it answers. Throws BrowserError when it cannot start,
    // does not answer before `deadline`, or exits.
    HeadlessBrowser(const std::string& executable, Clock::time_point deadline);
    // Closes the browser, kills whatever of its group is left and removes the profile.
    ~HeadlessBrowser();
    HeadlessBrowser(const HeadlessBrowser&) = delete;
    HeadlessBrowser& operator=(const HeadlessBrowser&) = delete;

    // Sends `method` with `params` (a JSON object's text) to `session` ("" for the browser) and
    // waits for its reply, handing events that come first to OnEvent. Returns the reply's result;
    // throws BrowserError for an error reply, the deadline, or a browser that went away.
    JsonValue Call(std::string_view method, std::string_view params = "{}",
                   const std::string& session = "");
    // Sends without waiting for the reply (answers to events, from inside OnEvent).
    void Send(std::string_view method, std::string_view params, const std::string& session);
    // Waits for the event `method` of `session`, handing every other one to OnEvent.
    JsonValue WaitForEvent(std::string_view method, const std::string& session);

    // Receives each event (a message with a method and no id) while a call waits.
    std::function<void(const JsonValue& event)> OnEvent;

    pid_t ProcessGroup() const { return child_; }

  private:
    void Start(const std::string& executable);
    void RemoveProfile();
    int SendMessage(std::string_view method, std::string_view params, const std::string& session);
    JsonValue ReadMessage();
    [[noreturn]] void Fail(const std::string& what);
    void Stop();

    Clock::time_point deadline_;
    std::string profile_;
    pid_t child_ = 0;
    int toBrowser_ = -1;
    int fromBrowser_ = -1;
    int nextId_ = 1;
    std::string buffer_;
    size_t scanned_ = 0;  // bytes of buffer_ already searched for the NUL that ends a message
};

}  // namespace pdf
