// orvik-xmla from start to stop: reads the command line, opens one connection to each catalog
// (so that a wrong connection string stops the start, not the first client), loads the users
// file, refuses passwords over plain HTTP to another machine, serves until SIGTERM or SIGINT, and
// then stops after the requests it is answering.
#pragma once

#include <string>
#include <vector>

namespace orvik::xmla {

// Runs the server with `arguments` (without the program name). Returns the exit status: 0 after
// a clean stop or --help, 2 for a wrong command line, 1 when it cannot start. Messages go to
// standard error; request lines to the log and standard error.
int RunXmlaServer(const std::vector<std::string>& arguments);

}  // namespace orvik::xmla
