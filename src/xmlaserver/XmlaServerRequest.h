// What an XMLA client asks of the server: a SOAP envelope read into the same request the client
// side writes (Discover with its request type, restrictions and properties; Execute with its
// statement and properties; the session header). The body comes from the network, so it is read
// by the hostile-input reader of the client side: capped nesting and text, no entities, no
// network, and a body that is not a request ends in one RequestError saying why.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "olap/XmlaRequest.h"

namespace orvik::xmla {

// A request the server cannot take as sent: the client's fault, answered with a SOAP fault
// whose code is soap:Client.
class RequestError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads `body`. Throws RequestError when it is not XML, not a SOAP envelope, holds neither
// Discover nor Execute, names no request type or statement, or carries a session header without
// the session's id.
Request ReadServerRequest(std::string_view body);

// The value of property `name` (compared without case) in `request`; "" when it has none.
std::string PropertyOf(const Request& request, std::string_view name);
// The value of restriction `name` (compared without case); "" when it has none.
std::string RestrictionOf(const Request& request, std::string_view name);

}  // namespace orvik::xmla
