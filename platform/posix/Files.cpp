#include "platform/Files.h"

#include "platform/Failure.h"
#include "platform/posix/Descriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Opens name, relative to the directory descriptor, for writing without emptying it: a section
// that delivers nothing leaves the file as it was. The open does not wait, so that a pipe that
// nobody reads fails at once instead of stopping the program; writes then wait as usual.
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

// A directory to open files in. Only looked up, not read: a directory that may be searched
// but not listed serves too.
posix::Descriptor openDirectory(const std::string& path) {
    posix::Descriptor directory(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0) {
        throwSystemError(errno);
    }
    return directory;
}

} // namespace

ReadFile::ReadFile(const std::string& path) : fd_(posix::openRegularFile(path).release()) {}

ReadFile::~ReadFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::uint64_t ReadFile::length() const {
    struct stat info {};
    if (fstat(fd_, &info) != 0) {
        throwSystemError(errno);
    }
    return static_cast<std::uint64_t>(info.st_size);
}

void ReadFile::read(std::uint8_t* destination, std::size_t count) {
    while (count > 0) {
        const ssize_t got = ::read(fd_, destination, count);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throwSystemError(errno);
        }
        if (got == 0) {
            throw Failure("Input past end of file");
        }
        destination += got;
        count -= static_cast<std::size_t>(got);
    }
}

void ReadFile::close() {
    closeOrThrow(fd_);
}

WriteFile::WriteFile(const std::string& path) : fd_(openForWriting(AT_FDCWD, path, 0)) {}

WriteFile::WriteFile(const std::string& directory, const std::string& name)
    : fd_(openForWriting(openDirectory(directory).get(), name, O_NOFOLLOW)) {}

WriteFile::~WriteFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

// The first write empties a regular file, and writes from its first byte. A device or a pipe
// has nothing to empty.
void WriteFile::write(const std::uint8_t* data, std::size_t count) {
    if (!emptied_) {
        struct stat info {};
        if (::fstat(fd_, &info) != 0 || (S_ISREG(info.st_mode) && ::ftruncate(fd_, 0) != 0)) {
            throwSystemError(errno);
        }
        emptied_ = true;
    }
    posix::writeAll(fd_, data, count);
}

void WriteFile::close() {
    closeOrThrow(fd_);
}

void deleteFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0) {
        throwSystemError(errno);
    }
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
