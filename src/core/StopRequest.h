// A run asked to stop from outside (SIGTERM from a scheduler or `kill`, SIGINT from Ctrl-C) ends in
// order: the command running at the time is ended with everything it started, no further step
// starts, and the log gets its closing lines. The signal handler only records the request; the
// run notices it where it waits (commands) and between steps.
#pragma once

namespace orvik {

// Routes SIGTERM and SIGINT to a stop request. A second signal of the same kind ends the program
// at once, for a person who does not want to wait for the orderly end.
void InstallStopHandlers();

// The signal that asked the run to stop; 0 while none did.
int StopSignal();

// A descriptor that becomes readable once a stop is requested, for waits that poll; -1 before
// InstallStopHandlers.
int StopEventDescriptor();

// Records a stop request as the signal `signal` would (async-signal-safe).
void RequestStop(int signal);
// Forgets a stop request (tests that request one).
void ClearStopRequest();

}  // namespace orvik
