#include "XmlaGateway.h"

namespace orvik::test {

XmlaGateway::XmlaGateway(OlapConnection& connection, const std::string& catalog) {
    // The test owns the connection; the catalog only borrows it.
    service_.AddCatalog(catalog, [&connection] {
        return std::shared_ptr<OlapConnection>(&connection, [](OlapConnection*) {});
    });
}

PeerReply XmlaGateway::Reply(const PeerRequest& request) {
    xmla::Answer answer = service_.Respond(request.Body, xmla::Caller{});
    PeerReply reply;
    reply.Status = answer.Status;
    reply.Reason = answer.Status == 200 ? "OK" : "Internal Server Error";
    reply.Body = std::move(answer.Body);
    return reply;
}

}  // namespace orvik::test
