// On Windows the requests to stop from outside are messages to the tray window: WM_CLOSE (from
// "taskkill" without /F), WM_QUERYENDSESSION and WM_ENDSESSION (log-off, shutdown). The window
// handles them between two messages, so never in the middle of a tick. A program with windows
// has no console whose control events could ask as well.
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
