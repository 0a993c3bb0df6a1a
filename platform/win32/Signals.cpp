// Stop requests on Windows are messages to the tray window (WM_CLOSE from "taskkill", and
// WM_ENDSESSION), handled between two messages, so never in the middle of a tick.
#include "platform/Signals.h"

namespace platform {

// A write that cannot go on fails with an error on Windows anyway.
void reportFailedWritesAsErrors() {}

void catchStopRequests() {}

bool stopRequested() {
    return false;
}

std::intptr_t stopRequestDescriptor() {
    return -1;
}

} // namespace platform
