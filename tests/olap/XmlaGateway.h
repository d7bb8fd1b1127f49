// The XMLA server's protocol in front of one OLAP connection, behind a scripted XmlaPeer: the
// tests of the client and of the builder compare what a report shows through the embedded engine
// directly and through the XMLA client, without a server process.
#pragma once

#include <string>

#include "XmlaPeer.h"
#include "olap/OlapConnection.h"
#include "xmlaserver/XmlaService.h"

namespace orvik::test {

// A server with one catalog, `catalog`, answered from `connection` (which must outlive it and
// is used by one request at a time: the peer answers one connection at a time).
class XmlaGateway {
  public:
    XmlaGateway(OlapConnection& connection, const std::string& catalog);
    PeerReply Reply(const PeerRequest& request);

  private:
    xmla::Service service_;
};

}  // namespace orvik::test
