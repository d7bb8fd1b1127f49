#include "XmlaPeer.h"

#include <arpa/inet.h>
#include <libxml/parser.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cctype>
#include <chrono>
#include <stdexcept>

namespace orvik::test {
namespace {

bool SendAll(int socket, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t sent = send(socket, data, size, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

// Reads until `text` holds `want` bytes or the client goes quiet for 5 s.
bool ReadUntil(int socket, std::string& text, size_t want) {
    char buffer[16384];
    while (text.size() < want) {
        pollfd entry{socket, POLLIN, 0};
        if (poll(&entry, 1, 5000) <= 0) return false;
        const ssize_t got = recv(socket, buffer, sizeof buffer, 0);
        if (got <= 0) return false;
        text.append(buffer, static_cast<size_t>(got));
    }
    return true;
}

}  // namespace

Document::Document(const std::string& text)
    : Doc(xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                        XML_PARSE_NONET | XML_PARSE_NOBLANKS)) {}

Document::~Document() {
    xmlFreeDoc(Doc);
}

std::string Name(xmlNodePtr node) {
    return reinterpret_cast<const char*>(node->name);
}

std::string Text(xmlNodePtr node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return text;
}

std::string Attribute(xmlNodePtr node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

std::vector<xmlNodePtr> Elements(xmlNodePtr parent, const std::string& name) {
    std::vector<xmlNodePtr> out;
    for (xmlNodePtr child = parent ? parent->children : nullptr; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE && (name.empty() || Name(child) == name))
            out.push_back(child);
    return out;
}

// The first element named `name` at or below `node`, depth first.
xmlNodePtr Find(xmlNodePtr node, const std::string& name) {
    for (; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) continue;
        if (Name(node) == name) return node;
        if (xmlNodePtr found = Find(node->children, name)) return found;
    }
    return nullptr;
}

std::string Collapsed(const std::string& text) {
    std::string out;
    for (char c : text) {
        const bool space = c == ' ' || c == '\n' || c == '\r' || c == '\t';
        if (space && (out.empty() || out.back() == ' ')) continue;
        out += space ? ' ' : c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

AskedRequest ReadRequest(const std::string& text) {
    AskedRequest asked;
    Document document(text);
    if (!document.Doc) return asked;
    xmlNodePtr top = xmlDocGetRootElement(document.Doc);
    xmlNodePtr method = Find(top, "Discover");
    if (!method) {
        method = Find(top, "Execute");
        asked.Execute = method != nullptr;
    }
    if (!method) return asked;
    asked.Valid = true;
    if (xmlNodePtr type = Find(method->children, "RequestType")) asked.RequestType = Text(type);
    if (xmlNodePtr statement = Find(method->children, "Statement"))
        asked.Statement = Collapsed(Text(statement));
    for (xmlNodePtr item : Elements(Find(method->children, "RestrictionList")))
        asked.Restrictions.emplace_back(Name(item), Text(item));
    for (xmlNodePtr item : Elements(Find(method->children, "PropertyList")))
        asked.Properties[Name(item)] = Text(item);
    return asked;
}

std::string PeerRequest::Header(const std::string& name) const {
    const size_t at = Headers.find("\n" + name + ":");
    if (at == std::string::npos) return {};
    const size_t begin = Headers.find_first_not_of(' ', at + name.size() + 2);
    const size_t end = Headers.find_first_of("\r\n", begin);
    return Headers.substr(begin, end - begin);
}

std::string Gzip(const std::string& text) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&stream, text.size()) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

XmlaPeer::XmlaPeer(Handler handler) : handler_(std::move(handler)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the XMLA test peer cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

XmlaPeer::~XmlaPeer() {
    stop_ = true;
    thread_.join();
    close(listener_);
}

std::string XmlaPeer::Url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/xmla";
}

std::vector<PeerRequest> XmlaPeer::Requests() const {
    std::lock_guard guard(lock_);
    return requests_;
}

void XmlaPeer::Serve() {
    while (!stop_) {
        pollfd entry{listener_, POLLIN, 0};
        if (poll(&entry, 1, 50) <= 0) continue;
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0) continue;
        Answer(client);
        close(client);
    }
}

void XmlaPeer::Answer(int client) {
    std::string text;
    size_t headerEnd = std::string::npos;
    while (headerEnd == std::string::npos) {
        if (!ReadUntil(client, text, text.size() + 1)) return;
        headerEnd = text.find("\r\n\r\n");
    }
    PeerRequest request;
    request.Headers = "\n" + text.substr(0, headerEnd + 2);
    for (size_t i = 0; i < request.Headers.size(); ++i) {
        // Header names in lower case, values as sent.
        if (i == 0 || request.Headers[i - 1] == '\n')
            for (size_t j = i; j < request.Headers.size() && request.Headers[j] != ':'; ++j)
                request.Headers[j] =
                    static_cast<char>(std::tolower(static_cast<unsigned char>(request.Headers[j])));
    }
    const size_t pathStart = text.find(' ') + 1;
    request.Path = text.substr(pathStart, text.find(' ', pathStart) - pathStart);
    const size_t length = std::stoul("0" + request.Header("content-length"));
    if (!ReadUntil(client, text, headerEnd + 4 + length)) return;
    request.Body = text.substr(headerEnd + 4, length);
    {
        std::lock_guard guard(lock_);
        requests_.push_back(request);
    }
    PeerReply reply = handler_(request);
    std::string body = reply.Body;
    const bool gzip =
        reply.Gzip && request.Header("accept-encoding").find("gzip") != std::string::npos;
    if (gzip) body = Gzip(body);
    std::string head = "HTTP/1.1 " + std::to_string(reply.Status) + " " + reply.Reason +
                       "\r\nContent-Type: " + reply.ContentType +
                       "\r\nContent-Length: " + std::to_string(body.size()) +
                       "\r\nConnection: close\r\n";
    if (gzip) head += "Content-Encoding: gzip\r\n";
    head += "\r\n";
    if (!SendAll(client, head.data(), head.size())) return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(reply.StallMs);
    while (!stop_ && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const size_t count = reply.CutAfter > 0 ? std::min(reply.CutAfter, body.size()) : body.size();
    SendAll(client, body.data(), count);
}

}  // namespace orvik::test
