#pragma once

#include <chrono>
#include <cstddef>

// Waits on descriptors of the system's that a stop request (Signals.h) cuts short: each throws
// Interrupted once a stop is requested, and Failure when the system refuses the wait.
namespace platform::posix {

// Waits until the descriptor is ready for the events (poll's POLLIN, POLLOUT), or an error or a
// hang-up shows on it: true then, false once the timeout has passed.
bool waitUntilReady(int fd, short events, std::chrono::milliseconds timeout);

// Writes all count bytes to a descriptor opened with O_NONBLOCK, waiting for it while it takes
// nothing: false once it has taken nothing for stallLimit. A failed write throws Failure.
bool writeUnlessStalled(int fd, const void* data, std::size_t count,
                        std::chrono::milliseconds stallLimit);

} // namespace platform::posix
