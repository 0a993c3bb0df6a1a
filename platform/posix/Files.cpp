#include "platform/Files.h"

#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/posix/Descriptor.h"
#include "platform/posix/Waits.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

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

// Opens never wait: a pipe that nobody reads fails at once ("No such device or address"), a file
// held by another program's lease fails instead of waiting for it to be given up. A terminal
// never becomes the program's, and a file keeps its bytes until it is written.
constexpr int kWriteFlags = O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

bool isRegularFile(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        throwSystemError(errno);
    }
    return S_ISREG(info.st_mode);
}

// A regular file is written as usual, each write waiting until it is done.
void clearNonBlocking(int fd) {
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        throwSystemError(errno);
    }
}

// What an open with O_NOFOLLOW and O_NONBLOCK says of a name that is no regular file: a symbolic
// link, a pipe without a reader or a socket, a directory.
bool namesOtherThanRegularFile(int error) {
    return error == ELOOP || error == ENXIO || error == EISDIR;
}

// O_PATH: a directory that may be searched but not listed serves too.
posix::Descriptor openDirectory(const std::string& path) {
    posix::Descriptor directory(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0) {
        throwSystemError(errno);
    }
    return directory;
}

// The regular file name inside directory, created when missing. The name's place is looked at
// first, so that a pipe or a device there is not even opened; what took its place meanwhile is
// refused once open.
posix::Descriptor openRegularFileIn(const std::string& directory, const std::string& name) {
    const posix::Descriptor parent = openDirectory(directory);
    struct stat info {};
    if (::fstatat(parent.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISREG(info.st_mode)) {
        throw Failure(description::kFileNameNotAllowed);
    }
    posix::Descriptor file(::openat(parent.get(), name.c_str(), kWriteFlags | O_NOFOLLOW, 0666));
    if (file.get() < 0) {
        if (namesOtherThanRegularFile(errno)) {
            throw Failure(description::kFileNameNotAllowed);
        }
        throwSystemError(errno);
    }
    if (!isRegularFile(file.get())) {
        throw Failure(description::kFileNameNotAllowed);
    }
    clearNonBlocking(file.get());
    return file;
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

WriteFile::WriteFile(const std::string& path, std::chrono::seconds stallLimit)
    : handle_(kNoFile), stallLimit_(stallLimit) {
    posix::Descriptor file(::open(path.c_str(), kWriteFlags, 0666));
    if (file.get() < 0) {
        throwSystemError(errno);
    }
    if (isRegularFile(file.get())) {
        clearNonBlocking(file.get());
    } else {
        slowTarget_ = path;
    }
    handle_ = file.release();
}

WriteFile::WriteFile(const std::string& directory, const std::string& name)
    : handle_(openRegularFileIn(directory, name).release()) {}

WriteFile::~WriteFile() {
    if (handle_ != kNoFile) {
        ::close(descriptor(handle_));
    }
}

// A device or a pipe has nothing to empty, and may take its bytes slowly.
void WriteFile::write(const std::uint8_t* data, std::size_t count) {
    const int fd = descriptor(handle_);
    if (slowTarget_.empty()) {
        if (!emptied_) {
            if (::ftruncate(fd, 0) != 0) {
                throwSystemError(errno);
            }
            emptied_ = true;
        }
        posix::writeAll(fd, data, count);
        return;
    }
    if (!posix::writeUnlessStalled(fd, data, count, stallLimit_)) {
        throw Failure(std::string(description::kNoProgressWritingFor) +
                      std::to_string(stallLimit_.count()) + description::kSeconds + ": " +
                      fromCodepage(slowTarget_));
    }
}

void WriteFile::close() {
    int fd = descriptor(std::exchange(handle_, kNoFile));
    closeOrThrow(fd);
}

void appendToFile(const std::string& path, std::string_view bytes) {
    posix::Descriptor file(::open(path.c_str(), kWriteFlags | O_APPEND | O_NOFOLLOW, 0666));
    if (file.get() < 0) {
        const int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK) {
            throw FileBusy(fromCodepage(std::strerror(error)));
        }
        if (error == ELOOP || error == ENXIO) {
            throw Failure(description::kNotARegularFile);
        }
        throwSystemError(error);
    }
    if (!isRegularFile(file.get())) {
        throw Failure(description::kNotARegularFile);
    }
    posix::writeAll(file.get(), bytes.data(), bytes.size());
    file.close();
}

void reportOnStandardError(const std::string& text) {
    std::fprintf(stderr, "Tarvo: %s\n", text.c_str());
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
