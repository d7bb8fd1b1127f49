// The server's HTTP face: POST /xmla carries a SOAP request to the service, after the caller has
// logged in (when the server has a users file) and with the catalogs the user may see. One line
// per request goes to the log: who, what, which cube, how long, how many cells.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "http/HttpServer.h"
#include "http/UsersFile.h"
#include "xmlaserver/XmlaService.h"

namespace orvik::xmla {

class Endpoint {
  public:
    // `users`: nullopt lets every caller use every catalog. `log` takes each request's line.
    Endpoint(Service& service, std::optional<http::UsersFile> users,
             std::function<void(const std::string&)> log);

    // Answers one HTTP request; safe to call from many threads at once.
    http::Response Handle(const http::Request& request);

  private:
    // The user the request's credentials name, or nullptr.
    const http::UserEntry* LogIn(const http::Request& request);

    Service& service_;
    std::optional<http::UsersFile> users_;
    std::function<void(const std::string&)> log_;
};

}  // namespace orvik::xmla
