#include "ServeProcess.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <thread>

namespace orvik::test {
namespace {

size_t Collect(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

size_t CollectHeader(char* data, size_t size, size_t count, void* target) {
    const std::string line(data, size * count);
    const size_t colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ')) value.erase(0, 1);
        while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
        static_cast<HttpReply*>(target)->headers.push_back({name, value});
    }
    return size * count;
}

}  // namespace

std::string HttpReply::Header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (key == name) return value;
    return {};
}

std::vector<std::string> HttpReply::Headers(const std::string& name) const {
    std::vector<std::string> values;
    for (const auto& [key, value] : headers)
        if (key == name) values.push_back(value);
    return values;
}

HttpReply Fetch(const std::string& url, const std::string& method, const std::string& body,
                const std::string& cookie) {
    HttpReply reply;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
    // The HTTPS test's certificate is its own, made for the test.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, CollectHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply);
    if (!cookie.empty()) curl_easy_setopt(curl, CURLOPT_COOKIE, cookie.c_str());
    if (method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    }
    const CURLcode result = curl_easy_perform(curl);
    if (result == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_easy_cleanup(curl);
    return reply;
}

std::string ProgramFolder() {
    return std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/";
}

ServeProcess::ServeProcess(const std::vector<std::string>& arguments, bool mustStart) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipe";
        return;
    }
    const std::string program = ProgramFolder() + "orvik";
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipeFds[1], STDERR_FILENO);
        std::vector<std::string> all = {program, "serve"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : all) argv.push_back(argument.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    stderr_ = pipeFds[0];
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    const std::string marker = "listening on http";
    while (std::chrono::steady_clock::now() < end && port_ == 0) {
        ReadAvailable(100);
        const size_t at = output_.find(marker);
        if (at != std::string::npos) {
            const size_t slash = output_.find("/ ", at);
            const size_t colon = output_.rfind(':', slash);
            if (slash != std::string::npos && colon != std::string::npos)
                port_ = std::atoi(output_.c_str() + colon + 1);
        }
        int status = 0;
        if (port_ == 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
    }
    if (port_ == 0 && mustStart) ADD_FAILURE() << "the server did not start: " << output_;
}

ServeProcess::~ServeProcess() {
    if (pid_ > 0) Terminate(10);
    if (stderr_ >= 0) close(stderr_);
}

std::string ServeProcess::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void ServeProcess::ReadAvailable(int waitMs) {
    if (stderr_ < 0) return;
    pollfd ready{stderr_, POLLIN, 0};
    while (poll(&ready, 1, waitMs) > 0) {
        char buffer[4096];
        const ssize_t got = read(stderr_, buffer, sizeof buffer);
        if (got <= 0) break;
        output_.append(buffer, static_cast<size_t>(got));
        waitMs = 0;
    }
}

std::string ServeProcess::Output() {
    ReadAvailable(50);
    return output_;
}

int ServeProcess::Terminate(int seconds) {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
        ReadAvailable(20);
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            ReadAvailable(0);
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
}

}  // namespace orvik::test
