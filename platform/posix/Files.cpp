#include "platform/Files.h"

#include "platform/Failure.h"
#include "platform/posix/Descriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

int openOrThrow(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) {
        throwSystemError(errno);
    }
    return fd;
}

void closeOrThrow(int& fd) {
    if (fd < 0) {
        return;
    }
    const int result = ::close(fd);
    fd = -1;
    if (result != 0 && errno != EINTR) {
        throwSystemError(errno);
    }
}

// Does not empty the file: a section that delivers nothing leaves it as it was. O_NONBLOCK: a
// pipe that nobody reads fails at once instead of stalling the program; writes then wait.
int openForWriting(int directory, const std::string& name, int flags) {
    const int fd = ::openat(directory, name.c_str(),
                            flags | O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        throwSystemError(errno);
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        throwSystemError(error);
    }
    return fd;
}

// O_PATH: a directory that may be searched but not listed serves too.
posix::Descriptor openDirectory(const std::string& path) {
    posix::Descriptor directory(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0) {
        throwSystemError(errno);
    }
    return directory;
}

} // namespace

namespace {

int descriptor(FileHandle handle) {
    return static_cast<int>(handle);
}

// Reads up to count bytes, at offset when it is given, retrying after interruptions.
std::size_t readSome(FileHandle handle, std::uint8_t* destination, std::size_t count,
                     const std::uint64_t* offset) {
    for (;;) {
        const ssize_t got = offset != nullptr ? ::pread(descriptor(handle), destination, count,
                                                        static_cast<off_t>(*offset))
                                              : ::read(descriptor(handle), destination, count);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            throwSystemError(errno);
        }
    }
}

// Reads until count bytes are in or the file ends; returns how many came.
std::size_t readFully(FileHandle handle, std::uint8_t* destination, std::size_t count,
                      std::uint64_t* offset) {
    std::size_t done = 0;
    while (done < count) {
        const std::size_t got = readSome(handle, destination + done, count - done, offset);
        if (got == 0) {
            break;
        }
        done += got;
        if (offset != nullptr) {
            *offset += got;
        }
    }
    return done;
}

} // namespace

JobFile::JobFile(const std::string& path)
    : path_(path), handle_(posix::openRegularFile(path, O_NOFOLLOW).release()) {}

JobFile::~JobFile() {
    ::close(descriptor(handle_));
}

bool JobFile::lock() {
    if (::flock(descriptor(handle_), LOCK_EX | LOCK_NB) == 0) {
        return true;
    }
    if (errno != EWOULDBLOCK) {
        throwSystemError(errno);
    }
    return false;
}

void JobFile::remove() {
    if (::unlink(path_.c_str()) != 0) {
        throwSystemError(errno);
    }
}

std::uint64_t JobFile::length() const {
    struct stat info {};
    if (::fstat(descriptor(handle_), &info) != 0) {
        throwSystemError(errno);
    }
    return static_cast<std::uint64_t>(info.st_size);
}

std::size_t JobFile::read(std::uint8_t* destination, std::size_t count) {
    return readFully(handle_, destination, count, nullptr);
}

std::size_t JobFile::readAt(std::uint64_t offset, std::uint8_t* destination, std::size_t count) {
    return readFully(handle_, destination, count, &offset);
}

WriteFile::WriteFile(const std::string& path) : handle_(openForWriting(AT_FDCWD, path, 0)) {}

WriteFile::WriteFile(const std::string& directory, const std::string& name)
    : handle_(openForWriting(openDirectory(directory).get(), name, O_NOFOLLOW)) {}

WriteFile::~WriteFile() {
    if (handle_ != kNoFile) {
        ::close(descriptor(handle_));
    }
}

// A device or a pipe has nothing to empty.
void WriteFile::write(const std::uint8_t* data, std::size_t count) {
    if (!emptied_) {
        struct stat info {};
        if (::fstat(descriptor(handle_), &info) != 0 ||
            (S_ISREG(info.st_mode) && ::ftruncate(descriptor(handle_), 0) != 0)) {
            throwSystemError(errno);
        }
        emptied_ = true;
    }
    posix::writeAll(descriptor(handle_), data, count);
}

void WriteFile::close() {
    int fd = descriptor(std::exchange(handle_, kNoFile));
    closeOrThrow(fd);
}

void appendToFile(const std::string& path, std::string_view bytes) {
    posix::Descriptor file(openOrThrow(path, O_WRONLY | O_CREAT | O_APPEND));
    posix::writeAll(file.get(), bytes.data(), bytes.size());
    file.close();
}

void probeDirectory(const std::string& path) {
    struct stat info {};
    if (path.empty()) {
        throw Failure(description::kBadFileName);
    }
    if (::stat(path.c_str(), &info) == 0 || errno == ENOENT || errno == ENOTDIR) {
        return;
    }
    throwSystemError(errno);
}

} // namespace platform
