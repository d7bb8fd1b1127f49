// The reply is pulled: each Read lets libcurl work until some body bytes have arrived, polling
// for at most a quarter second at a time so that a stop request (a signal, a run's time limit)
// ends the wait promptly. libcurl's error buffer is read only when a transfer failed.
#include "olap/XmlaHttp.h"

#include <curl/curl.h>
#include <strings.h>

#include <cstring>
#include <mutex>

#include "core/StopRequest.h"
#include "data/AdoException.h"

namespace orvik::xmla {
namespace {

constexpr const char* kSource = "XMLA";

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

[[noreturn]] void Throw(const std::string& message) {
    throw CADOException(AdoError::Failure, message, kSource);
}

}  // namespace

struct HttpExchange::Handles {
    CURL* Easy = nullptr;
    CURLM* Multi = nullptr;
    curl_slist* Headers = nullptr;
    ~Handles() {
        if (Multi && Easy) curl_multi_remove_handle(Multi, Easy);
        if (Easy) curl_easy_cleanup(Easy);
        if (Multi) curl_multi_cleanup(Multi);
        if (Headers) curl_slist_free_all(Headers);
    }
};

HttpExchange::HttpExchange(const HttpSettings& settings, std::string body,
                           const std::string& soapAction)
    : handles_(std::make_unique<Handles>()), settings_(settings), body_(std::move(body)) {
    InitCurlOnce();
    handles_->Easy = curl_easy_init();
    handles_->Multi = curl_multi_init();
    if (!handles_->Easy || !handles_->Multi) Throw("Cannot start an HTTP request (libcurl)");
    CURL* easy = handles_->Easy;
    for (const std::string& header :
         {std::string("Content-Type: text/xml; charset=utf-8"), "SOAPAction: " + soapAction,
          std::string("Accept: text/xml, application/xml"), std::string("Expect:")})
        handles_->Headers = curl_slist_append(handles_->Headers, header.c_str());
    curl_easy_setopt(easy, CURLOPT_URL, settings_.Url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, handles_->Headers);
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body_.data());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
    // Every encoding this libcurl can unpack (gzip, deflate, ...).
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HttpExchange::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HttpExchange::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText_);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, settings_.ConnectTimeoutSeconds);
    if (settings_.TimeoutSeconds > 0) {
        curl_easy_setopt(easy, CURLOPT_TIMEOUT, settings_.TimeoutSeconds);
    } else {
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, settings_.StallSeconds);
    }
    if (!settings_.User.empty()) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(easy, CURLOPT_USERNAME, settings_.User.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, settings_.Password.c_str());
    }
    curl_multi_add_handle(handles_->Multi, easy);
}

HttpExchange::~HttpExchange() = default;

size_t HttpExchange::OnBody(char* data, size_t size, size_t count, void* self) {
    auto* exchange = static_cast<HttpExchange*>(self);
    exchange->headersDone_ = true;
    exchange->pending_.append(data, size * count);
    return size * count;
}

size_t HttpExchange::OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* exchange = static_cast<HttpExchange*>(self);
    std::string_view line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
        // A new status line (after a "100 Continue" the real one follows).
        const size_t code = line.find(' ');
        const size_t reason = code == std::string_view::npos ? code : line.find(' ', code + 1);
        exchange->reason_ =
            reason == std::string_view::npos ? "" : std::string(line.substr(reason + 1, 100));
        exchange->contentType_.clear();
    } else if (line.size() > 13 && strncasecmp(line.data(), "content-type:", 13) == 0) {
        std::string_view value = line.substr(13);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        exchange->contentType_ = std::string(value.substr(0, 200));
    } else if (line.empty()) {
        long status = 0;
        curl_easy_getinfo(exchange->handles_->Easy, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 200) exchange->headersDone_ = true;
    }
    return size * count;
}

std::string ShownUrl(const std::string& shown) {
    std::string url = shown;
    const size_t scheme = url.find("://");
    const size_t at = url.find('@');
    const size_t slash = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    if (scheme != std::string::npos && at != std::string::npos && (at < slash))
        url.erase(scheme + 3, at + 1 - (scheme + 3));
    return url;
}

void HttpExchange::ThrowTransferError(int code) {
    const std::string where = "The OLAP server at " + ShownUrl();
    const std::string detail = errorText_[0] ? errorText_ : curl_easy_strerror(CURLcode(code));
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT: {
            double connected = 0;
            curl_easy_getinfo(handles_->Easy, CURLINFO_CONNECT_TIME, &connected);
            if (connected <= 0)
                Throw(where + " could not be reached within " +
                      std::to_string(settings_.ConnectTimeoutSeconds) +
                      " s (Connect Timeout): " + detail);
            if (settings_.TimeoutSeconds > 0)
                Throw(where + " did not answer within " + std::to_string(settings_.TimeoutSeconds) +
                      " s (Timeout): " + detail);
            Throw(where + " stopped sending its reply for " +
                  std::to_string(settings_.StallSeconds) + " s: " + detail);
        }
        case CURLE_COULDNT_RESOLVE_HOST:
            Throw(where + " cannot be found: " + detail + ". Check the host name in Data Source");
        case CURLE_COULDNT_CONNECT:
            Throw(where + " refuses the connection: " + detail +
                  ". Check that the server runs and the port in Data Source");
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
            Throw(where + " broke off its reply: " + detail);
        case CURLE_UNSUPPORTED_PROTOCOL:
            Throw(where + " is not an http:// or https:// address: " + detail);
        default:
            Throw(where + " cannot be reached: " + detail);
    }
}

bool HttpExchange::Pump() {
    if (done_) return false;
    int running = 0;
    const CURLMcode result = curl_multi_perform(handles_->Multi, &running);
    if (result != CURLM_OK)
        Throw(std::string("HTTP transfer failed: ") + curl_multi_strerror(result));
    if (running == 0) {
        done_ = true;
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(handles_->Multi, &left)) {
            if (message->msg == CURLMSG_DONE && message->data.result != CURLE_OK)
                ThrowTransferError(message->data.result);
        }
        headersDone_ = true;
        return false;
    }
    if (offset_ == pending_.size()) {
        curl_multi_poll(handles_->Multi, nullptr, 0, 250, nullptr);
        ThrowIfStopped("The XMLA request to " + ShownUrl());
    }
    return true;
}

void HttpExchange::Start() {
    while (!headersDone_ && Pump()) {
    }
    curl_easy_getinfo(handles_->Easy, CURLINFO_RESPONSE_CODE, &status_);
}

size_t HttpExchange::Read(char* buffer, size_t size) {
    while (offset_ == pending_.size()) {
        pending_.clear();
        offset_ = 0;
        if (!Pump() && pending_.empty()) return 0;
    }
    const size_t count = std::min(size, pending_.size() - offset_);
    std::memcpy(buffer, pending_.data() + offset_, count);
    offset_ += count;
    return count;
}

}  // namespace orvik::xmla
