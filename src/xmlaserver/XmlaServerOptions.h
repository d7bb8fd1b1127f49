// The command line of orvik-xmla: where to listen, which catalogs to serve, who may log in, and
// the limits. Read whole before anything starts, so that a mistake is said at once and nothing
// half-starts.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace orvik::xmla {

struct ServerOptions {
    std::string Listen = "127.0.0.1:8080";
    std::vector<std::pair<std::string, std::string>> Catalogs;  // name, cube connection string
    std::string UsersFile;
    unsigned Threads = 4;
    std::string CertFile, KeyFile;
    size_t MaxRequestBytes = 1u << 20;
    std::string LogFile;  // "" for the program's log
    bool Help = false;
};

// A command line orvik-xmla cannot run with; the message says which argument and why.
class OptionsError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// Reads the arguments after the program name. Throws OptionsError for an unknown option, a
// missing or malformed value, a catalog named twice, no catalog (unless --help), a certificate
// without its key or the other way round.
ServerOptions ParseServerOptions(const std::vector<std::string>& arguments);

// What --help prints.
std::string ServerUsage();

}  // namespace orvik::xmla
