// Clients differ in how they spell a request: the envelope's prefix, the XMLA namespace as the
// default or prefixed, blank text and comments between elements, a Command holding Statement.
// Elements are therefore matched by local name inside the SOAP envelope namespace, and anything
// the server does not use is skipped whole rather than refused.
#include "xmlaserver/XmlaServerRequest.h"

#include <strings.h>

#include "data/AdoException.h"
#include "olap/XmlaXmlReader.h"

namespace orvik::xmla {
namespace {

// Restriction and property lists are small; a longer one is an attack on the server's memory.
constexpr size_t kMaxListItems = 256;

void ReadList(XmlaXmlReader& reader, const char* listName,
              std::vector<std::pair<std::string, std::string>>& into) {
    reader.Children([&] {
        if (reader.LocalName() != listName) return;
        reader.Children([&] {
            if (into.size() >= kMaxListItems)
                throw RequestError("The request's " + std::string(listName) + " holds more than " +
                                   std::to_string(kMaxListItems) + " items");
            std::string name(reader.LocalName());
            std::string value = reader.ElementText();
            into.emplace_back(std::move(name), std::move(value));
        });
    });
}

void ReadHeader(XmlaXmlReader& reader, Request& request) {
    reader.Children([&] {
        const std::string_view name = reader.LocalName();
        if (name == "BeginSession") {
            request.Session = SessionHeader::Begin;
        } else if (name == "Session" || name == "EndSession") {
            request.Session = name == "Session" ? SessionHeader::Use : SessionHeader::End;
            request.SessionId = reader.Attribute("SessionId").value_or("");
            if (request.SessionId.empty())
                throw RequestError("The request's " + std::string(name) +
                                   " header names no SessionId");
        }
    });
}

void ReadMethod(XmlaXmlReader& reader, Request& request) {
    reader.Children([&] {
        const std::string_view name = reader.LocalName();
        if (name == "RequestType") {
            request.RequestType = reader.ElementText();
        } else if (name == "Restrictions") {
            ReadList(reader, "RestrictionList", request.Restrictions);
        } else if (name == "Properties") {
            ReadList(reader, "PropertyList", request.Properties);
        } else if (name == "Command") {
            reader.Children([&] {
                if (reader.LocalName() == "Statement") request.Statement = reader.ElementText();
            });
        }
    });
}

}  // namespace

Request ReadServerRequest(std::string_view body) {
    Request request;
    bool method = false;
    try {
        XmlaMemorySource source(body);
        XmlaXmlReader reader(source);
        while (reader.Read() && !reader.AtElement()) {
        }
        if (!reader.AtElement() || !reader.Is("Envelope", kSoapEnvelopeNs))
            throw RequestError("The request is not a SOAP envelope");
        reader.Children([&] {
            if (reader.Is("Header", kSoapEnvelopeNs)) {
                ReadHeader(reader, request);
            } else if (reader.Is("Body", kSoapEnvelopeNs)) {
                reader.Children([&] {
                    if (method) return;
                    if (reader.LocalName() == "Discover") {
                        request.Kind = Method::Discover;
                    } else if (reader.LocalName() == "Execute") {
                        request.Kind = Method::Execute;
                    } else {
                        throw RequestError("The server does not know the method <" +
                                           std::string(reader.LocalName()) +
                                           ">: it answers Discover and Execute");
                    }
                    method = true;
                    ReadMethod(reader, request);
                });
            }
        });
    } catch (const CADOException& error) {
        // The reader speaks of replies; here the client sent the bytes.
        std::string text = error.what();
        const std::string replyPrefix = "The XMLA reply cannot be read: ";
        if (text.rfind(replyPrefix, 0) == 0) text = text.substr(replyPrefix.size());
        throw RequestError("The request cannot be read: " + text);
    }
    if (!method) throw RequestError("The request's SOAP body holds neither Discover nor Execute");
    if (request.Kind == Method::Discover && request.RequestType.empty())
        throw RequestError("The Discover request names no RequestType");
    // Clients end a session with an Execute that runs nothing.
    if (request.Kind == Method::Execute && request.Session != SessionHeader::End &&
        request.Statement.find_first_not_of(" \t\r\n") == std::string::npos)
        throw RequestError("The Execute request holds no Statement");
    return request;
}

namespace {
std::string ValueOf(const std::vector<std::pair<std::string, std::string>>& items,
                    std::string_view name) {
    for (const auto& [key, value] : items)
        if (key.size() == name.size() && strncasecmp(key.data(), name.data(), name.size()) == 0)
            return value;
    return {};
}
}  // namespace

std::string PropertyOf(const Request& request, std::string_view name) {
    return ValueOf(request.Properties, name);
}

std::string RestrictionOf(const Request& request, std::string_view name) {
    return ValueOf(request.Restrictions, name);
}

}  // namespace orvik::xmla
