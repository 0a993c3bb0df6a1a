#include "platform/posix/Descriptor.h"

#include "platform/Failure.h"

#include <cerrno>
#include <unistd.h>
#include <vector>

namespace platform::posix {

Descriptor::~Descriptor() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void Descriptor::close() {
    const int fd = std::exchange(fd_, -1);
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) {
        throwSystemError(errno);
    }
}

void writeAll(int fd, const void* data, std::size_t count, std::uint64_t* written) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (count > 0) {
        const ssize_t done = ::write(fd, bytes, count);
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            throwSystemError(errno);
        }
        bytes += done;
        count -= static_cast<std::size_t>(done);
        if (written != nullptr) {
            *written += static_cast<std::uint64_t>(done);
        }
    }
}

std::string readAll(int fd) {
    std::string content;
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throwSystemError(errno);
        }
        if (got == 0) {
            return content;
        }
        content.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

} // namespace platform::posix
