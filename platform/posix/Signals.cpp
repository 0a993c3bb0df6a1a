#include "platform/Signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

// The pipe whose read end the event loop watches; the handler writes one byte to it.
int wakeRead = -1;
int wakeWrite = -1;

// Runs in whatever thread takes the signal, so it does only what is safe there.
void onStopSignal(int signal) {
    if (requested.exchange(true)) {
        // The second request: the program ends by this signal, as it would have without us.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    const int savedErrno = errno;
    const char byte = 1;
    if (::write(wakeWrite, &byte, 1) < 0) {
        // The pipe is empty until now, so one byte always fits.
    }
    errno = savedErrno;
}

} // namespace

void reportFailedWritesAsErrors() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

void catchStopRequests() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        // Nothing could wake the event loop: requests end the program as before.
        return;
    }
    wakeRead = ends[0];
    wakeWrite = ends[1];

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    // A job's system calls go on where the signal found them.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    for (int signal : kStopSignals) {
        sigaction(signal, &action, nullptr);
    }
}

bool stopRequested() {
    return requested.load();
}

std::intptr_t stopRequestDescriptor() {
    return wakeRead;
}

} // namespace platform
