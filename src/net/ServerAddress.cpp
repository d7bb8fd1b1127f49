#include "net/ServerAddress.h"

#include <charconv>

#include "core/TextEncoding.h"

namespace orvik {
namespace {

bool ParsePort(std::string_view text, int& port) {
    if (text.empty() || text.size() > 5) return false;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return false;
    if (value < 1 || value > 65535) return false;
    port = value;
    return true;
}

}  // namespace

ServerAddress SplitServerAddress(std::string_view server, int defaultPort) {
    server = orvik::Trim(server);
    ServerAddress address{std::string(server), defaultPort, {}};
    if (!server.empty() && server.front() == '[') {
        const size_t close = server.find(']');
        if (close == std::string_view::npos) return address;
        const std::string_view rest = server.substr(close + 1);
        int port = defaultPort;
        if (rest.empty() || (rest.front() == ':' && ParsePort(rest.substr(1), port))) {
            address.Host = std::string(server.substr(1, close - 1));
            address.Port = port;
        }
        return address;
    }
    const size_t colon = server.find(':');
    if (colon == std::string_view::npos || server.find(':', colon + 1) != std::string_view::npos) {
        return address;
    }
    int port = defaultPort;
    if (ParsePort(server.substr(colon + 1), port)) {
        address.Host = std::string(server.substr(0, colon));
        address.Port = port;
    }
    return address;
}

ServerAddress ParseMailServer(std::string_view server) {
    server = orvik::Trim(server);
    std::string scheme;
    for (const char* known : {"smtp", "smtps"}) {
        const std::string prefix = std::string(known) + "://";
        if (server.size() >= prefix.size() &&
            orvik::EqualsIgnoringAsciiCase(server.substr(0, prefix.size()), prefix)) {
            scheme = known;
            server.remove_prefix(prefix.size());
            if (!server.empty() && server.back() == '/') server.remove_suffix(1);
        }
    }
    ServerAddress address = SplitServerAddress(server, scheme == "smtps" ? 465 : 25);
    address.Scheme = scheme;
    return address;
}

}  // namespace orvik
