#include "platform/SingleInstance.h"

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

// The lock is an flock on a file named with the user id, in the user's runtime directory or
// in /tmp where there is none. The descriptor stays open for the life of the process, and the
// kernel drops the lock with it, so a crash never leaves a stale lock behind.
bool claimSingleInstance() {
    std::string directory = "/tmp";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info {};
    if (runtime != nullptr && runtime[0] != '\0' && stat(runtime, &info) == 0 &&
        S_ISDIR(info.st_mode)) {
        directory = runtime;
    }
    const std::string path = directory + "/tarvo-" + std::to_string(getuid()) + ".lock";
    // This process may already hold it.
    static std::string heldPath;
    if (path == heldPath) {
        return true;
    }
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        // Without a lock file there is no way to tell; running is better than refusing to.
        return true;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    heldPath = path;
    return true;
}

} // namespace platform
