#include "platform/RecordFile.h"

#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/posix/Descriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

RecordFile::RecordFile(const std::string& path)
    : handle_(::open(toCodepage(path).c_str(),
                     O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666)) {
    struct stat info {};
    if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &info) != 0) {
        throwSystemError(errno);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(static_cast<int>(handle_));
        throwSystemError(EINVAL);
    }
}

RecordFile::~RecordFile() {
    ::close(static_cast<int>(handle_));
}

// One positioned write, and a cut where the record has become shorter.
void RecordFile::write(std::string_view content) {
    const int fd = static_cast<int>(handle_);
    errno = 0;
    if (::pwrite(fd, content.data(), content.size(), 0) != static_cast<ssize_t>(content.size()) ||
        (content.size() < length_ && ::ftruncate(fd, static_cast<off_t>(content.size())) != 0)) {
        throwSystemError(errno == 0 ? EIO : errno);
    }
    length_ = content.size();
}

std::optional<std::string> readRecord(const std::string& path, std::size_t maxBytes) {
    const posix::Descriptor file = posix::openRegularFileIfAny(toCodepage(path));
    if (file.get() < 0) {
        return std::nullopt;
    }
    // Room for what the file holds, not for the most that a record may hold.
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        throwSystemError(errno);
    }
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(status.st_size), maxBytes));
    std::string content(wanted, '\0');
    std::size_t got = 0;
    while (got < wanted) {
        const ssize_t read =
            ::pread(file.get(), content.data() + got, wanted - got, static_cast<off_t>(got));
        if (read < 0 && errno != EINTR) {
            throwSystemError(errno);
        }
        if (read == 0) {
            break;
        }
        got += read > 0 ? static_cast<std::size_t>(read) : 0;
    }
    content.resize(got);
    return content;
}

void removeRecord(const std::string& path) {
    if (::unlink(toCodepage(path).c_str()) != 0 && errno != ENOENT) {
        throwSystemError(errno);
    }
}

} // namespace platform
