#include "core/StopRequest.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace orvik {
namespace {

std::atomic<int> requested{0};
int eventPipe[2] = {-1, -1};

void OnStopSignal(int signal) {
    if (requested.load() == signal) {
        // Asked twice: the person wants out now.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    RequestStop(signal);
}

}  // namespace

void RequestStop(int signal) {
    requested.store(signal);
    if (eventPipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(eventPipe[1], &byte, 1);
    }
}

void ClearStopRequest() {
    requested.store(0);
    if (eventPipe[0] < 0) return;
    char bytes[64];
    while (::read(eventPipe[0], bytes, sizeof bytes) > 0) {
    }
}

int StopSignal() {
    return requested.load();
}

int StopEventDescriptor() {
    return eventPipe[0];
}

void InstallStopHandlers() {
    if (eventPipe[0] < 0 && ::pipe2(eventPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        eventPipe[0] = eventPipe[1] = -1;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace orvik
