#pragma once

#include <fstream>

namespace testsupport {

// How many directory changes the system queues for a reader before it drops the rest and
// reports an overflow.
inline int maxQueuedEvents() {
    std::ifstream limit("/proc/sys/fs/inotify/max_queued_events");
    int events = 0;
    limit >> events;
    return events;
}

} // namespace testsupport
