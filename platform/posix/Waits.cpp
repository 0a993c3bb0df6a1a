#include "platform/posix/Waits.h"

#include "platform/Failure.h"
#include "platform/Signals.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <poll.h>
#include <unistd.h>

namespace platform::posix {

bool waitUntilReady(int fd, short events, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    const auto stop = static_cast<int>(stopRequestDescriptor());
    for (;;) {
        if (stopRequested()) {
            throw Interrupted();
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd waits[] = {{fd, events, 0}, {stop, POLLIN, 0}};
        const int ready = ::poll(waits, stop >= 0 ? 2 : 1,
                                 static_cast<int>(std::min<std::int64_t>(left.count(), INT_MAX)));
        if (ready < 0 && errno != EINTR) {
            throwSystemError(errno);
        }
        if (stopRequested()) {
            throw Interrupted();
        }
        if (ready > 0 && waits[0].revents != 0) {
            return true;
        }
    }
}

bool writeUnlessStalled(int fd, const void* data, std::size_t count,
                        std::chrono::milliseconds stallLimit) {
    using Clock = std::chrono::steady_clock;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    Clock::time_point lastProgress = Clock::now();
    while (count > 0) {
        const ssize_t done = ::write(fd, bytes, count);
        if (done > 0) {
            bytes += done;
            count -= static_cast<std::size_t>(done);
            lastProgress = Clock::now();
            continue;
        }
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            throwSystemError(errno);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            lastProgress + stallLimit - Clock::now());
        if (left.count() <= 0 || !waitUntilReady(fd, POLLOUT, left)) {
            return false;
        }
    }
    return true;
}

} // namespace platform::posix
