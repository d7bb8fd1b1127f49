// `orvik serve ...`: the report server's life from the command line to SIGTERM. The program's
// main hands over here before anything of the designer or the unattended runner starts.
#pragma once

#include <string>
#include <vector>

namespace orvik::serve {

// Runs the server with `arguments` (those after "serve") until SIGTERM or SIGINT; returns the
// exit status: 0 after an orderly stop, 2 when it cannot start (the reason on standard error).
int RunServeCommand(const std::vector<std::string>& arguments);

}  // namespace orvik::serve
