// One XMLA request over HTTP(S) through libcurl, its reply handed to the XML reader as it
// arrives rather than gathered first: libcurl's multi interface is driven from the reader's
// read calls, so at most a few network buffers of the reply are ever held. Compressed replies
// are accepted and unpacked on the way. Nothing waits for ever: the connection has its own
// time-out, the request a total one, and a reply that stalls is given up.
#pragma once

#include <memory>
#include <string>

#include "olap/XmlaXmlReader.h"

namespace orvik::xmla {

struct HttpSettings {
    std::string Url;
    std::string User;      // "" for no login
    std::string Password;  // never written to a message or log
    long ConnectTimeoutSeconds = 15;
    long TimeoutSeconds = 0;  // the whole request; 0 for none
    // Without a total time-out, a reply that sends nothing for this long is given up.
    long StallSeconds = 300;
};

// `url` without any login in it, for messages.
std::string ShownUrl(const std::string& url);

class HttpExchange : public XmlaByteSource {
  public:
    // Posts `body` with the SOAPAction `soapAction`. Throws CADOException when libcurl cannot
    // be set up.
    HttpExchange(const HttpSettings& settings, std::string body, const std::string& soapAction);
    ~HttpExchange() override;
    HttpExchange(const HttpExchange&) = delete;
    HttpExchange& operator=(const HttpExchange&) = delete;

    // Sends the request and waits for the reply's status line and headers. Throws
    // CADOException when the server cannot be reached, does not answer in time, or the user
    // asked the run to stop.
    void Start();
    long Status() const { return status_; }
    // The status line's reason phrase ("Unauthorized"); "" when the server sent none.
    const std::string& Reason() const { return reason_; }
    const std::string& ContentType() const { return contentType_; }
    // The URL without any login in it, for messages.
    std::string ShownUrl() const { return xmla::ShownUrl(settings_.Url); }

    // The reply's body, unpacked. Throws CADOException when the transfer fails part-way.
    size_t Read(char* buffer, size_t size) override;

  private:
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    // Lets libcurl move the transfer on; false once it has ended.
    bool Pump();
    [[noreturn]] void ThrowTransferError(int code);

    struct Handles;
    std::unique_ptr<Handles> handles_;
    HttpSettings settings_;
    std::string body_;
    std::string pending_;  // body bytes received and not yet read
    size_t offset_ = 0;
    bool done_ = false;
    bool headersDone_ = false;
    long status_ = 0;
    std::string reason_;
    std::string contentType_;
    char errorText_[256] = {};
};

}  // namespace orvik::xmla
