// Requests are written by hand rather than through a DOM: they are small, and their shape is
// fixed. Servers differ in what they tolerate, so the envelope keeps to the common form every
// server in our recorded conversations accepted: the method element in the XMLA namespace as
// the default namespace, properties and restrictions as plain child elements.
#include "olap/XmlaRequest.h"

#include <cctype>

namespace orvik::xmla {
namespace {

// A restriction or property name becomes an element name, so it must be one.
bool IsXmlName(std::string_view name) {
    if (name.empty()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const bool letter = std::isalpha(c) || c == '_';
        if (!(letter || (i > 0 && (std::isdigit(c) || c == '-' || c == '.')))) return false;
    }
    return true;
}

void AppendList(std::string& out, const char* outer, const char* inner,
                const std::vector<std::pair<std::string, std::string>>& items) {
    out += "<";
    out += outer;
    out += "><";
    out += inner;
    out += ">";
    for (const auto& [name, value] : items) {
        if (!IsXmlName(name)) continue;
        out += "<" + name + ">" + EscapeXml(value) + "</" + name + ">";
    }
    out += "</";
    out += inner;
    out += "></";
    out += outer;
    out += ">";
}

std::string Header(const Request& request) {
    const std::string ns = " xmlns=\"" + std::string(kXmlaNs) + "\"";
    switch (request.Session) {
        case SessionHeader::None:
            return {};
        case SessionHeader::Begin:
            return "<soap:Header><BeginSession soap:mustUnderstand=\"1\"" + ns + "/></soap:Header>";
        case SessionHeader::Use:
            return "<soap:Header><Session soap:mustUnderstand=\"1\" SessionId=\"" +
                   EscapeXml(request.SessionId) + "\"" + ns + "/></soap:Header>";
        case SessionHeader::End:
            return "<soap:Header><EndSession soap:mustUnderstand=\"1\" SessionId=\"" +
                   EscapeXml(request.SessionId) + "\"" + ns + "/></soap:Header>";
    }
    return {};
}

}  // namespace

std::string SoapAction(Method kind) {
    return "\"" + std::string(kXmlaNs) + (kind == Method::Discover ? ":Discover\"" : ":Execute\"");
}

std::string Envelope(const Request& request) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<soap:Envelope xmlns:soap=\"";
    out += kSoapEnvelopeNs;
    out += "\">";
    out += Header(request);
    out += "<soap:Body>";
    const char* method = request.Kind == Method::Discover ? "Discover" : "Execute";
    out += "<" + std::string(method) + " xmlns=\"" + std::string(kXmlaNs) + "\">";
    if (request.Kind == Method::Discover) {
        out += "<RequestType>" + EscapeXml(request.RequestType) + "</RequestType>";
        AppendList(out, "Restrictions", "RestrictionList", request.Restrictions);
    } else {
        out += "<Command><Statement>" + EscapeXml(request.Statement) + "</Statement></Command>";
    }
    AppendList(out, "Properties", "PropertyList", request.Properties);
    out += "</" + std::string(method) + "></soap:Body></soap:Envelope>";
    return out;
}

}  // namespace orvik::xmla
