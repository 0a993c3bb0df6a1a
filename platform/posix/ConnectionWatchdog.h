#pragma once

#include "platform/posix/Descriptor.h"

#include <chrono>
#include <mutex>
#include <sys/socket.h>
#include <thread>

namespace platform::posix {

// Bounds the calls of a library that talks to one server over sockets of its own (libcups),
// whose waits a slow server can stretch at will. While a call is watched, a thread of the
// watchdog's own cuts it at its deadline, or at once when a stop is requested (Signals.h): it
// shuts down every socket of the program that is connected to the server, so that the call's
// reads and writes fail, and does so again every few milliseconds until the call returns, since
// the library may connect anew meanwhile.
class ConnectionWatchdog {
public:
    // What bounds a call.
    enum class Bound {
        // It returns, its answer read whole, within the limit.
        Answer,
        // Its writes go at the pace that the server takes them, for the library to bound a write
        // that makes no progress; once the server sends anything, it returns within the limit.
        Upload,
    };
    enum class Outcome { Returned, TimedOut, Stopped };

    explicit ConnectionWatchdog(std::chrono::milliseconds limit);
    ~ConnectionWatchdog();
    ConnectionWatchdog(const ConnectionWatchdog&) = delete;
    ConnectionWatchdog& operator=(const ConnectionWatchdog&) = delete;

    // The library's socket once it is connected: from now on calls are cut through it and every
    // other socket connected to its peer. Before, a cut only raises cancelFlag().
    void follow(int connectedSocket);

    // Set to 1 once a call is cut: the cancel flag of a library call that polls one.
    int* cancelFlag() { return &cancel_; }

    // Runs call in this thread, watched; returns how it ended. A call that returned by itself
    // just as it was cut counts as cut.
    template <typename Call> Outcome watch(Bound bound, Call&& call) {
        begin(bound);
        try {
            call();
        } catch (...) {
            end();
            throw;
        }
        return end();
    }

private:
    using Clock = std::chrono::steady_clock;

    void begin(Bound bound);
    Outcome end();
    void run();
    // The thread's next wait in milliseconds, -1 for none (with mutex_ held).
    int nextWait() const;
    void check(bool serverSent);
    void cut() const;

    const std::chrono::milliseconds limit_;
    const Descriptor wake_;
    Descriptor socket_;
    sockaddr_storage peer_{};
    socklen_t peerLength_ = 0;
    int cancel_ = 0;

    // What the thread and the caller share.
    mutable std::mutex mutex_;
    bool watching_ = false;
    bool cutting_ = false;
    bool quitting_ = false;
    Bound bound_ = Bound::Answer;
    Outcome outcome_ = Outcome::Returned;
    Clock::time_point deadline_;

    std::thread thread_;
};

} // namespace platform::posix
