#pragma once

#include <cstdint>

namespace platform {

// A write to a pipe whose reader left, or past the file size limit, then fails with an error
// its caller logs, instead of a signal ending the program mid-job. Called once at start-up.
void reportFailedWritesAsErrors();

// From now on a first SIGTERM, SIGINT or SIGHUP is only noted and makes stopRequestDescriptor()
// readable, so the event loop ends the program between two ticks; a second ends it at once.
// Called once at start-up. Nothing on Windows, where the tray window hears of stops.
void catchStopRequests();

bool stopRequested();

// Readable once a stop request is noted, for the event loop to watch; -1 when there is none.
std::intptr_t stopRequestDescriptor();

} // namespace platform
