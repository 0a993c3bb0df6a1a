#include "platform/posix/ConnectionWatchdog.h"

#include "platform/Failure.h"
#include "platform/Signals.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <iterator>
#include <netinet/in.h>
#include <poll.h>
#include <string_view>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform::posix {
namespace {

// How often a cut call is cut again.
constexpr std::chrono::milliseconds kCutAgainEvery{20};

Descriptor makeWakeDescriptor() {
    Descriptor wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (wake.get() < 0) {
        throwSystemError(errno);
    }
    return wake;
}

template <typename Address> Address as(const sockaddr_storage& storage) {
    Address address;
    std::memcpy(&address, &storage, sizeof address);
    return address;
}

// Whether two peer addresses name the same server: the same socket path, or the same address
// and port.
bool samePeer(const sockaddr_storage& a, socklen_t aLength, const sockaddr_storage& b,
              socklen_t bLength) {
    if (a.ss_family != b.ss_family) {
        return false;
    }
    switch (a.ss_family) {
    case AF_UNIX:
        return aLength == bLength && std::memcmp(&a, &b, aLength) == 0;
    case AF_INET: {
        const auto x = as<sockaddr_in>(a);
        const auto y = as<sockaddr_in>(b);
        return x.sin_port == y.sin_port && x.sin_addr.s_addr == y.sin_addr.s_addr;
    }
    case AF_INET6: {
        const auto x = as<sockaddr_in6>(a);
        const auto y = as<sockaddr_in6>(b);
        return x.sin6_port == y.sin6_port &&
               std::memcmp(&x.sin6_addr, &y.sin6_addr, sizeof x.sin6_addr) == 0;
    }
    default:
        return false;
    }
}

// Calls visit with every descriptor of the process that is a socket connected to the peer.
template <typename Visit>
void forEachSocketTo(const sockaddr_storage& peer, socklen_t peerLength, Visit visit) {
    DIR* const directory = ::opendir("/proc/self/fd");
    if (directory == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(directory)) {
        const std::string_view name = entry->d_name;
        int fd = -1;
        if (std::from_chars(name.data(), name.data() + name.size(), fd).ec != std::errc() ||
            fd == ::dirfd(directory)) {
            continue;
        }
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
            samePeer(address, length, peer, peerLength)) {
            visit(fd);
        }
    }
    ::closedir(directory);
}

} // namespace

ConnectionWatchdog::ConnectionWatchdog(std::chrono::milliseconds limit)
    : limit_(limit), wake_(makeWakeDescriptor()), thread_([this] { run(); }) {}

ConnectionWatchdog::~ConnectionWatchdog() {
    {
        const std::lock_guard lock(mutex_);
        quitting_ = true;
    }
    const std::uint64_t one = 1;
    if (::write(wake_.get(), &one, sizeof one) < 0) {
        // The counter cannot overflow from here: the thread wakes.
    }
    thread_.join();
}

void ConnectionWatchdog::follow(int connectedSocket) {
    Descriptor socket(::fcntl(connectedSocket, F_DUPFD_CLOEXEC, 0));
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (socket.get() < 0 ||
        ::getpeername(socket.get(), reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        throwSystemError(errno);
    }
    const std::lock_guard lock(mutex_);
    socket_ = std::move(socket);
    peer_ = peer;
    peerLength_ = length;
}

void ConnectionWatchdog::begin(Bound bound) {
    {
        const std::lock_guard lock(mutex_);
        watching_ = true;
        cutting_ = false;
        bound_ = bound;
        outcome_ = Outcome::Returned;
        deadline_ = bound == Bound::Answer ? Clock::now() + limit_ : Clock::time_point::max();
        std::atomic_ref<int>(cancel_).store(0);
    }
    const std::uint64_t one = 1;
    if (::write(wake_.get(), &one, sizeof one) < 0) {
        // The counter cannot overflow from here: the thread wakes.
    }
}

ConnectionWatchdog::Outcome ConnectionWatchdog::end() {
    const std::lock_guard lock(mutex_);
    watching_ = false;
    return outcome_;
}

// The thread waits for a wake-up, the deadline, a stop request, and during an upload for the
// server's first byte. It writes the library's cancel flag while the library reads it, as a
// whole int.
void ConnectionWatchdog::run() {
    std::unique_lock lock(mutex_);
    while (!quitting_) {
        const auto stop = static_cast<int>(stopRequestDescriptor());
        const bool watchStop = watching_ && !cutting_ && stop >= 0;
        const bool watchServer = watching_ && !cutting_ && bound_ == Bound::Upload &&
                                 deadline_ == Clock::time_point::max() && socket_.get() >= 0;
        pollfd waits[] = {{wake_.get(), POLLIN, 0},
                          {watchStop ? stop : -1, POLLIN, 0},
                          {watchServer ? socket_.get() : -1, POLLIN, 0}};
        const int wait = nextWait();
        lock.unlock();
        if (::poll(waits, std::size(waits), wait) > 0 && waits[0].revents != 0) {
            std::uint64_t count = 0;
            if (::read(wake_.get(), &count, sizeof count) < 0) {
                // Already read: nothing to do.
            }
        }
        lock.lock();
        if (watching_) {
            check(waits[2].revents != 0);
        }
    }
}

int ConnectionWatchdog::nextWait() const {
    if (!watching_) {
        return -1;
    }
    if (cutting_) {
        return static_cast<int>(kCutAgainEvery.count());
    }
    if (deadline_ == Clock::time_point::max()) {
        return -1;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
    return static_cast<int>(std::clamp<std::int64_t>(wait.count(), 0, INT_MAX));
}

void ConnectionWatchdog::check(bool serverSent) {
    if (!cutting_) {
        const Clock::time_point now = Clock::now();
        if (serverSent && deadline_ == Clock::time_point::max()) {
            deadline_ = now + limit_;
        }
        if (stopRequested()) {
            outcome_ = Outcome::Stopped;
        } else if (now >= deadline_) {
            outcome_ = Outcome::TimedOut;
        } else {
            return;
        }
        cutting_ = true;
        std::atomic_ref<int>(cancel_).store(1);
    }
    cut();
}

// Other sockets to the server are the library's too: it may have connected anew during the call.
void ConnectionWatchdog::cut() const {
    if (socket_.get() < 0) {
        return;
    }
    ::shutdown(socket_.get(), SHUT_RDWR);
    forEachSocketTo(peer_, peerLength_, [](int fd) { ::shutdown(fd, SHUT_RDWR); });
}

} // namespace platform::posix
