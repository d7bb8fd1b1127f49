// A mail or FTP server as the user types it: a host name, optionally followed by ":port", so that
// a server on another port (a test peer, a relay behind a firewall) can be reached without a
// setting of its own. IPv6 literals keep their colons: "[::1]:2525" carries a port, "::1" does not.
// A mail server may also be written as a URL, "smtp://host[:port]" or "smtps://host[:port]", which
// says how the connection is to be secured.
#pragma once

#include <string>
#include <string_view>

namespace orvik {

struct ServerAddress {
    std::string Host;
    int Port = 0;
    std::string Scheme;  // "smtp" or "smtps" when written as a URL, else empty
};

// Splits `server` into host and port; `defaultPort` when it names none. A suffix that is not a
// port number from 1 to 65535 stays part of the host, where name resolution will reject it.
ServerAddress SplitServerAddress(std::string_view server, int defaultPort);

// A mail server: "smtps://host" defaults to port 465 (TLS from the first byte), "smtp://host" and
// a bare "host" to 25; the scheme is matched without regard to case and one trailing "/" is
// allowed. Any other "scheme://" stays part of the host, where resolution rejects it.
ServerAddress ParseMailServer(std::string_view server);

}  // namespace orvik
