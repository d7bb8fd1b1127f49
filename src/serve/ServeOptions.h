// The command line of `orvik serve`: where the reports are, where to listen, who may log in, and
// how many runs and how long a page is kept. Read before anything else starts, so a mistake is
// said on the terminal and nothing listens.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvik::serve {

struct ServeOptions {
    std::string reportsFolder;              // --reports DIR
    std::string listen = "127.0.0.1:8080";  // --listen ADDR:PORT
    std::string usersFile;                  // --users FILE ("" = nobody logs in, loopback only)
    unsigned threads = 4;                   // --threads N: runs at once
    unsigned cacheSeconds = 0;              // --cache SECONDS: how long a finished page is reused
    unsigned graceSeconds = 20;             // --grace SECONDS: how long SIGTERM lets runs finish
    unsigned keepSeconds = 300;  // --keep SECONDS: how long a finished run's files stay reachable
    unsigned waitSeconds = 3;    // --wait SECONDS: how long a page waits before the progress page
    std::string certFile;        // --cert F and --key F: HTTPS
    std::string keyFile;
    bool help = false;          // --help
    bool hashPassword = false;  // --hash-password: print a hash for the users file and quit
};

// Reads the arguments after "serve". Throws std::invalid_argument naming the argument that is
// wrong (unknown, missing its value, not a number, --cert without --key).
ServeOptions ParseServeOptions(const std::vector<std::string>& arguments);

// The text of `orvik serve --help`.
std::string ServeUsageText();

}  // namespace orvik::serve
