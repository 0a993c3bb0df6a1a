#include "platform/posix/PrivateDirectory.h"

#include "platform/Codepage.h"
#include "platform/Failure.h"

#include <cerrno>
#include <sys/stat.h>

namespace platform {
namespace {

// Makes one directory whose parent exists; one that exists is left alone.
void makeOne(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) == 0) {
        // The umask may have taken bits away; the user's own must stay.
        if (::chmod(path.c_str(), 0700) != 0) {
            throwSystemError(errno);
        }
        return;
    }
    const int error = errno;
    struct stat info {};
    if (error != EEXIST || ::stat(path.c_str(), &info) != 0) {
        throwSystemError(error);
    }
    if (!S_ISDIR(info.st_mode)) {
        throwSystemError(ENOTDIR);
    }
}

} // namespace

void makePrivateDirectories(const std::string& path) {
    const std::string bytes = toCodepage(path);
    // Each directory from the top down; the root, and the empty names of doubled separators,
    // need nothing.
    for (std::size_t end = bytes.find('/', 1); end != std::string::npos;
         end = bytes.find('/', end + 1)) {
        if (bytes[end - 1] != '/') {
            makeOne(bytes.substr(0, end));
        }
    }
    if (!bytes.empty() && bytes.back() != '/') {
        makeOne(bytes);
    }
}

} // namespace platform
