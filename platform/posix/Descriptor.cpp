#include "platform/posix/Descriptor.h"

#include "platform/Failure.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
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

namespace {

constexpr int kLeaseRetries = 100;
constexpr std::chrono::milliseconds kLeaseRetryPause{10};

// Opens the file as openRegularFile does; a path that names nothing gives -1 when missingIsNone.
Descriptor openRegular(const std::string& path, int extraFlags, bool missingIsNone) {
    const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | extraFlags;
    Descriptor file(::open(path.c_str(), flags));
    // A lease that another process holds (another Tarvo asking whether the file is in use) makes
    // a non-blocking open fail until it is given up, which takes moments: up to a second.
    for (int attempt = 0; file.get() < 0 && errno == EWOULDBLOCK && attempt < kLeaseRetries;
         ++attempt) {
        std::this_thread::sleep_for(kLeaseRetryPause);
        file = Descriptor(::open(path.c_str(), flags));
    }
    if (file.get() < 0 && missingIsNone && (errno == ENOENT || errno == ENOTDIR)) {
        return file;
    }
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0) {
        throwSystemError(errno);
    }
    if (!S_ISREG(info.st_mode)) {
        throwSystemError(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    }
    const int openFlags = ::fcntl(file.get(), F_GETFL);
    if (openFlags < 0 || ::fcntl(file.get(), F_SETFL, openFlags & ~O_NONBLOCK) != 0) {
        throwSystemError(errno);
    }
    return file;
}

} // namespace

Descriptor openRegularFile(const std::string& path, int extraFlags) {
    return openRegular(path, extraFlags, false);
}

Descriptor openRegularFileIfAny(const std::string& path) {
    return openRegular(path, 0, true);
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
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
