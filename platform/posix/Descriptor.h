#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace platform::posix {

// A file descriptor, closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor();
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }

    int get() const { return fd_; }
    // Gives the descriptor up to the caller, who closes it.
    int release() { return std::exchange(fd_, -1); }

    // Closes now; throws Failure when the close (for a written file: writing it back) fails.
    void close();

private:
    int fd_;
};

// Opens a regular file for reading; O_NONBLOCK, so a pipe or device in its place cannot stall
// the open. Anything else is refused (a directory with "Is a directory", others with "Invalid
// argument"); reads wait as usual. extraFlags are added to the open's (O_NOFOLLOW, say).
Descriptor openRegularFile(const std::string& path, int extraFlags = 0);

// As openRegularFile, but -1 instead of a failure when the path names nothing.
Descriptor openRegularFileIfAny(const std::string& path);

// The directory part of a path: "." for a bare name, "/" for a name in the root.
std::string directoryOf(const std::string& path);

// Writes all count bytes, retrying after interruptions; throws Failure when a write fails.
// written, when given, counts every byte written, also those of a write that fails part way.
void writeAll(int fd, const void* data, std::size_t count, std::uint64_t* written = nullptr);

// Reads from the descriptor's position to the end.
std::string readAll(int fd);

} // namespace platform::posix
