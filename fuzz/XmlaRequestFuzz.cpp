// Feeds arbitrary bytes to the XMLA server as a request body. Whatever arrives must end in a
// request or one RequestError: no crash, no hang, no leak. A request that was read must read
// back the same after the client side writes it out again, so that server and client agree on
// what a request says.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "xmlaserver/XmlaServerRequest.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// XML reads a carriage return written as such as a line feed; only a character reference keeps
// it, and the client writes statements as text.
std::string Lines(std::string text) {
    for (char& c : text)
        if (c == '\r') c = '\n';
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    orvik::xmla::Request request;
    try {
        request = orvik::xmla::ReadServerRequest(input);
    } catch (const orvik::xmla::RequestError&) {
        return 0;
    }
    try {
        const orvik::xmla::Request again =
            orvik::xmla::ReadServerRequest(orvik::xmla::Envelope(request));
        Check(again.Kind == request.Kind);
        // Each method carries its own part: the rowset asked for, or the statement.
        if (request.Kind == orvik::xmla::Method::Discover)
            Check(Lines(again.RequestType) == Lines(request.RequestType));
        else
            Check(Lines(again.Statement) == Lines(request.Statement));
        Check(again.Session == request.Session);
        Check(again.SessionId == request.SessionId);
    } catch (const orvik::xmla::RequestError&) {
        Check(false);
    }
    return 0;
}
