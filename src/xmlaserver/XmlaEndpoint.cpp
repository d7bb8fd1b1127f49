#include "xmlaserver/XmlaEndpoint.h"

#include <cstdio>

#include "core/LogText.h"
#include "xmlaserver/XmlaReplyWriter.h"

namespace orvik::xmla {
namespace {

http::Response Refusal(int status, const std::string& text) {
    http::Response response = http::Response::Text(status, text + "\n");
    if (status == 401)
        response.headers.emplace_back("WWW-Authenticate",
                                      "Basic realm=\"orvik-xmla\", charset=\"UTF-8\"");
    return response;
}

std::string LogLine(const std::string& user, const std::string& peer, const Answer& answer,
                    int status, double milliseconds) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", milliseconds);
    std::string line =
        "xmla user=" + EscapeForLog(user.empty() ? "-" : user) + " from=" + EscapeForLog(peer) +
        " request=" + EscapeForLog(answer.RequestType.empty() ? "-" : answer.RequestType);
    if (!answer.Catalog.empty()) line += " catalog=" + EscapeForLog(answer.Catalog);
    if (!answer.Cube.empty()) line += " cube=" + EscapeForLog(answer.Cube);
    line += " status=" + std::to_string(status) + " time=" + time +
            "ms cells=" + std::to_string(answer.Cells);
    if (!answer.Fault.empty()) line += " fault=" + EscapeForLog(answer.Fault.substr(0, 300));
    return line;
}

}  // namespace

Endpoint::Endpoint(Service& service, std::optional<http::UsersFile> users,
                   std::function<void(const std::string&)> log)
    : service_(service), users_(std::move(users)), log_(std::move(log)) {}

// Every request carries its credentials; the users file remembers the passwords it has checked,
// so only a user's first request pays for bcrypt.
const http::UserEntry* Endpoint::LogIn(const http::Request& request) {
    if (!request.basic) return nullptr;
    return users_->Authenticate(request.basic->user, request.basic->password);
}

http::Response Endpoint::Handle(const http::Request& request) {
    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    };
    Answer answer;
    std::string userName;
    auto refuse = [&](int status, const std::string& text) {
        answer.Fault = text;
        log_(LogLine(userName, request.peerAddress, answer, status, elapsed()));
        return Refusal(status, text);
    };
    if (request.path != "/xmla" && request.path != "/xmla/")
        return refuse(404, "Nothing here: XMLA requests go to /xmla");
    if (request.method != "POST") {
        http::Response response = refuse(405, "XMLA requests are sent with POST");
        response.headers.emplace_back("Allow", "POST");
        return response;
    }
    Caller caller;
    if (users_) {
        if (request.basic) userName = request.basic->user;
        const http::UserEntry* user = LogIn(request);
        if (!user)
            return refuse(401, request.basic ? "The user name or password is wrong"
                                             : "This server asks for a user name and password");
        caller.User = user->name;
        caller.MayUseCatalog = [user](const std::string& catalog) {
            return user->ListAllows(0, catalog);
        };
    }
    answer = service_.Respond(request.body, caller);
    http::Response response;
    response.status = answer.Status;
    response.contentType = "text/xml; charset=utf-8";
    response.body = std::move(answer.Body);
    log_(LogLine(userName, request.peerAddress, answer, answer.Status, elapsed()));
    return response;
}

}  // namespace orvik::xmla
