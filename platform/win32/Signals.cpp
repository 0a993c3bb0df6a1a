// Stop requests on Windows are messages to the tray window (WM_CLOSE from "taskkill", and
// WM_ENDSESSION), handled between two messages, so never in the middle of a tick. A wait within
// a tick looks for them in the thread's queue (stopRequested).
#include "platform/Signals.h"

#include <windows.h>

namespace platform {

// A write that cannot go on fails with an error on Windows anyway.
void reportFailedWritesAsErrors() {}

void catchStopRequests() {}

// A WM_CLOSE waiting in the calling thread's queue (the windows' thread), or the WM_QUIT that the
// end of the session or "Terminate" posts. Looking delivers the messages sent to the thread's
// windows meanwhile, WM_ENDSESSION among them, and leaves the queue as it was.
bool stopRequested() {
    MSG message;
    return PeekMessageA(&message, nullptr, WM_CLOSE, WM_CLOSE, PM_NOREMOVE) != FALSE ||
           PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
}

std::intptr_t stopRequestDescriptor() {
    return -1;
}

} // namespace platform
