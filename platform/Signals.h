#pragma once

#include <cstdint>

namespace platform {

// Makes a write that cannot go on (to a pipe whose reader has left, or past the process's
// file size limit) fail with an error that its caller logs, instead of ending the program
// with a signal and losing the rest of the job. Called once at start-up.
void reportFailedWritesAsErrors();

// Requests from outside to stop the program (SIGTERM, SIGINT and SIGHUP; on Windows there are
// none of this kind: log-off, shutdown and "taskkill" ask the tray window, which ends the
// program between two ticks itself). From this call on, a first request no longer ends the
// program where it stands: it is noted, and the descriptor of stopRequestDescriptor() becomes
// readable, so that the event loop can end the program between two ticks, never in the middle
// of a job. A second request ends the program at once. Called once at start-up; where the
// platform cannot watch for requests, they end the program as before.
void catchStopRequests();

// Whether a request to stop has been noted.
bool stopRequested();

// A descriptor that becomes readable when a request to stop has been noted, for the event loop
// to watch (a socket where the platform can watch only sockets); -1 when there is none.
std::intptr_t stopRequestDescriptor();

} // namespace platform
