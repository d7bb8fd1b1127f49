// A scripted XMLA server for the client's tests: a small HTTP/1.1 server on a free 127.0.0.1
// port, one connection at a time on a thread of its own, that hands each request to the test's
// handler and sends back what the handler says (compressed when asked, stalled, cut short), and
// keeps every request so tests can assert what the client sent.
#pragma once

#include <libxml/tree.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvik::test {

struct PeerRequest {
    std::string Path;
    std::string Headers;  // as received, names in lower case
    std::string Body;
    // The value of header `name` (lower case), "" when absent.
    std::string Header(const std::string& name) const;
};

struct PeerReply {
    int Status = 200;
    std::string Reason = "OK";
    std::string ContentType = "text/xml; charset=utf-8";
    std::string Body;
    bool Gzip = false;    // compress the body (when the client accepts gzip)
    int StallMs = 0;      // wait this long after the headers before the body
    size_t CutAfter = 0;  // when non-zero: announce the whole body, send this many bytes, close
};

class XmlaPeer {
  public:
    using Handler = std::function<PeerReply(const PeerRequest&)>;
    explicit XmlaPeer(Handler handler);
    ~XmlaPeer();
    XmlaPeer(const XmlaPeer&) = delete;
    XmlaPeer& operator=(const XmlaPeer&) = delete;

    // "http://127.0.0.1:<port>/xmla"
    std::string Url() const;
    // The requests received so far.
    std::vector<PeerRequest> Requests() const;

  private:
    void Serve();
    void Answer(int client);

    Handler handler_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex lock_;
    std::vector<PeerRequest> requests_;
    std::thread thread_;
};

// `text` gzip-compressed.
std::string Gzip(const std::string& text);

// A DOM reading of XMLA requests and replies for the tests, independent of the streaming reader
// under test.
struct Document {
    explicit Document(const std::string& text);
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    xmlDocPtr Doc;
};
std::string Name(xmlNodePtr node);
// The text of `node` and everything inside it.
std::string Text(xmlNodePtr node);
std::string Attribute(xmlNodePtr node, const char* name);
// The child elements of `parent` (named `name`, when given).
std::vector<xmlNodePtr> Elements(xmlNodePtr parent, const std::string& name = {});
// The first element named `name` at or below `node` or its following siblings, depth first.
xmlNodePtr Find(xmlNodePtr node, const std::string& name);
// `text` with each run of white space made one blank, and none at the ends.
std::string Collapsed(const std::string& text);

// What an XMLA request asks.
struct AskedRequest {
    bool Valid = false;
    bool Execute = false;
    std::string RequestType, Statement;
    std::vector<std::pair<std::string, std::string>> Restrictions;
    std::map<std::string, std::string> Properties;
};
AskedRequest ReadRequest(const std::string& text);

}  // namespace orvik::test
