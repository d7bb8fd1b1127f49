#include "XmlaServerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

extern char** environ;

namespace orvik::test {

std::string XmlaServerProgram() {
    return ORVIK_XMLA_SERVER;
}

XmlaServerProcess::XmlaServerProcess(std::vector<std::string> arguments) {
    bool listens = false;
    for (const std::string& argument : arguments) listens = listens || argument == "--listen";
    if (!listens) arguments.insert(arguments.begin(), {"--listen", "127.0.0.1:0"});
    arguments.insert(arguments.begin(), XmlaServerProgram());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        pid_ = -1;
        output_ = "cannot start " + arguments[0];
        return;
    }
    reader_ = std::thread([this, fd = pipeEnds[0]] { ReadOutput(fd); });
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait_for(hold, std::chrono::seconds(60), [&] {
        const size_t at = output_.find("listening on http");
        if (at != std::string::npos) {
            const size_t colon = output_.find(':', output_.find("127.0.0.1", at));
            port_ = std::atoi(output_.c_str() + colon + 1);
        }
        return port_ > 0 || outputEnded_;
    });
}

void XmlaServerProcess::ReadOutput(int fd) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        std::lock_guard<std::mutex> hold(lock_);
        if (n <= 0) {
            outputEnded_ = true;
            changed_.notify_all();
            break;
        }
        output_.append(buffer, static_cast<size_t>(n));
        changed_.notify_all();
    }
    close(fd);
}

std::string XmlaServerProcess::Output() const {
    std::lock_guard<std::mutex> hold(lock_);
    return output_;
}

int XmlaServerProcess::WaitForExit(int seconds) {
    if (reaped_) return status_;
    if (pid_ <= 0) return -1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    do {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            reaped_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return status_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < end);
    return -1;
}

bool XmlaServerProcess::Running() {
    return pid_ > 0 && !reaped_ && WaitForExit(0) == -1;
}

int XmlaServerProcess::Stop() {
    if (pid_ <= 0) return -1;
    if (!reaped_) kill(pid_, SIGTERM);
    const int status = WaitForExit(10);
    if (status == -1) {
        kill(pid_, SIGKILL);
        WaitForExit(5);
        return -1;
    }
    return status;
}

XmlaServerProcess::~XmlaServerProcess() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        WaitForExit(5);
    }
    if (reader_.joinable()) reader_.join();
}

}  // namespace orvik::test
