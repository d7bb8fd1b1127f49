// An XMLA face for any OLAP connection, for tests: Discover answered with the connection's own
// schema rowsets (filtered by the request's restrictions), Execute with its cell set, both
// written as an XMLA server writes them. Put behind an XmlaPeer, it lets a test compare what a
// report shows through the embedded engine directly and through the XMLA client.
#pragma once

#include "XmlaPeer.h"
#include "olap/OlapConnection.h"

namespace orvik::test {

// The reply to `request` from `connection`; a SOAP fault with the engine's message when it fails.
PeerReply GatewayReply(OlapConnection& connection, const PeerRequest& request);

}  // namespace orvik::test
