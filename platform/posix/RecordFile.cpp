#include "platform/RecordFile.h"

#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/posix/Descriptor.h"

#include <cerrno>
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
    std::string content(maxBytes, '\0');
    const ssize_t got = ::pread(file.get(), content.data(), maxBytes, 0);
    if (got < 0) {
        throwSystemError(errno);
    }
    content.resize(static_cast<std::size_t>(got));
    return content;
}

void removeRecord(const std::string& path) {
    if (::unlink(toCodepage(path).c_str()) != 0 && errno != ENOENT) {
        throwSystemError(errno);
    }
}

} // namespace platform
