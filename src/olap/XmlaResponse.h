// The envelope of an XMLA reply around its payload: the SOAP header (the session the server
// opened), a SOAP fault, the DiscoverResponse/ExecuteResponse wrapper and, inside the result's
// root, the error and warning messages a server adds beside or instead of data. The payload
// itself (a rowset, a cell set) is read by the reader the caller hands in, node by node.
#pragma once

#include <string>
#include <vector>

#include "data/AdoException.h"
#include "olap/XmlaXmlReader.h"

namespace orvik::xmla {

// What reads the children of the result's root element.
class ReplyPayload {
  public:
    virtual ~ReplyPayload() = default;
    // Called on the root element's start; `rootNamespace` tells a rowset from a cell set.
    // Throws CADOException when the reply holds another kind of result than asked for.
    virtual void Begin(std::string_view rootNamespace) = 0;
    // Reads one child element of the root (the reader on its start).
    virtual void Child(XmlaXmlReader& reader) = 0;
    // Called after the root's last child.
    virtual void End() {}
};

// What the reply said besides its payload.
struct ReplyInfo {
    std::string SessionId;              // from the header's Session element, "" when none
    std::vector<std::string> Warnings;  // the server's warnings, in its words
};

// A SOAP fault or an XMLA error: the server's own text, and the fault code that a client may
// act on (a server that does not understand the session header says so by its code).
class XmlaFault : public CADOException {
  public:
    XmlaFault(const std::string& message, std::string faultCode)
        : CADOException(AdoError::Failure, message, "XMLA"), faultCode_(std::move(faultCode)) {}
    const std::string& FaultCode() const { return faultCode_; }
    // True when the server refused a header it did not understand.
    bool IsMustUnderstand() const;

  private:
    std::string faultCode_;
};

// Reads a whole reply from `reader`, handing the root's children to `payload`. A bare
// DiscoverResponse/ExecuteResponse or a bare root (without the SOAP envelope) is read too.
// Throws XmlaFault for a SOAP fault or error messages (with the server's text), CADOException
// when the reply is not XMLA at all or holds no result.
ReplyInfo ReadReply(XmlaXmlReader& reader, ReplyPayload& payload);

}  // namespace orvik::xmla
