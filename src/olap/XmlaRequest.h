// The XMLA protocol's names and the requests a client sends: Discover (a schema rowset, with
// restrictions) and Execute (an MDX statement), each a SOAP envelope carrying the session
// header that keeps a server-side session across requests. Kept apart from the transport and
// the reply readers so that a server can share the names and read requests of the same shape.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/MarkupEscape.h"

namespace orvik::xmla {

inline constexpr std::string_view kSoapEnvelopeNs = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr std::string_view kXmlaNs = "urn:schemas-microsoft-com:xml-analysis";
inline constexpr std::string_view kRowsetNs = "urn:schemas-microsoft-com:xml-analysis:rowset";
inline constexpr std::string_view kMdDataSetNs = "urn:schemas-microsoft-com:xml-analysis:mddataset";
inline constexpr std::string_view kEmptyNs = "urn:schemas-microsoft-com:xml-analysis:empty";
inline constexpr std::string_view kExceptionNs = "urn:schemas-microsoft-com:xml-analysis:exception";
inline constexpr const char* kXsiNs = "http://www.w3.org/2001/XMLSchema-instance";

enum class Method { Discover, Execute };

// What the request says about the server-side session.
enum class SessionHeader {
    None,   // a server that does not keep sessions
    Begin,  // asks for a session; the reply's header names it
    Use,    // runs in the session SessionId names
    End,    // ends that session
};

struct Request {
    Method Kind = Method::Discover;
    std::string RequestType;  // Discover: "MDSCHEMA_CUBES", ...
    std::vector<std::pair<std::string, std::string>> Restrictions;  // Discover: column = value
    std::string Statement;                                          // Execute: the MDX
    std::vector<std::pair<std::string, std::string>> Properties;    // Catalog, Format, ...
    SessionHeader Session = SessionHeader::None;
    std::string SessionId;
};

// The SOAP envelope of `request`, UTF-8. Names and values are escaped; a property or
// restriction name that is not an XML name is left out rather than sent as broken markup.
std::string Envelope(const Request& request);

// The SOAPAction header value for `kind`.
std::string SoapAction(Method kind);

// `text` with the five XML special characters escaped.
inline std::string EscapeXml(std::string_view text) {
    return EscapeMarkup(text, true);
}

}  // namespace orvik::xmla
