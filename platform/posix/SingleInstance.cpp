#include "platform/SingleInstance.h"

#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/Paths.h"
#include "platform/posix/Descriptor.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

using posix::Descriptor;

[[noreturn]] void noSafePlace(const std::string& path, const std::string& reason) {
    throw Failure("No safe place for the single-instance lock: " + fromCodepage(path) + ": " +
                  reason);
}

std::string systemText(int error) {
    return fromCodepage(std::strerror(error));
}

// Stops unless info is of a directory that only this user can change: their own, and writable
// by nobody else. (Read access does not matter for the directory: the lock file in it is
// readable by its owner alone, and flock needs no more than read access.)
void requirePrivateDirectory(const std::string& path, const struct stat& info) {
    if (!S_ISDIR(info.st_mode)) {
        noSafePlace(path, "not a directory");
    }
    if (info.st_uid != getuid()) {
        noSafePlace(path, "not owned by this user");
    }
    if ((info.st_mode & 022) != 0) {
        noSafePlace(path, "writable by other users");
    }
}

bool isPrivateDirectory(const struct stat& info) {
    return S_ISDIR(info.st_mode) && info.st_uid == getuid() && (info.st_mode & 022) == 0;
}

// The lock file's path. Its key is the user and the installation: two instances that share one
// settings file and one log are what it prevents. An application directory that is the user's
// own and writable by nobody else holds it; otherwise it lies in a directory ".tarvo" of the
// user's home directory, as the password database names it, under the application directory's
// identity.
std::string lockPath() {
    const std::string application = toCodepage(applicationDirectory());
    struct stat applicationInfo {};
    if (::stat(application.c_str(), &applicationInfo) != 0) {
        noSafePlace(application, systemText(errno));
    }
    if (isPrivateDirectory(applicationInfo)) {
        return joinPath(application, kInstanceLockName);
    }

    const std::string home = toCodepage(homeDirectory());
    if (home.empty()) {
        noSafePlace(application, "not the user's own, and the user has no home directory");
    }
    struct stat homeInfo {};
    if (::stat(home.c_str(), &homeInfo) != 0) {
        noSafePlace(home, systemText(errno));
    }
    requirePrivateDirectory(home, homeInfo);
    const std::string directory = joinPath(home, ".tarvo");
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        noSafePlace(directory, systemText(errno));
    }
    // Not followed: a link would lead the lock elsewhere.
    struct stat directoryInfo {};
    if (::lstat(directory.c_str(), &directoryInfo) != 0) {
        noSafePlace(directory, systemText(errno));
    }
    requirePrivateDirectory(directory, directoryInfo);
    return joinPath(directory, std::to_string(applicationInfo.st_dev) + "-" +
                                   std::to_string(applicationInfo.st_ino) + ".lock");
}

// Opens the lock file, made readable and writable by this user alone.
Descriptor openLockFile(const std::string& path) {
    Descriptor lock(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    struct stat info {};
    if (lock.get() < 0 || ::fstat(lock.get(), &info) != 0) {
        noSafePlace(path, systemText(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        noSafePlace(path, "not a regular file");
    }
    if (info.st_uid != getuid()) {
        noSafePlace(path, "not owned by this user");
    }
    if ((info.st_mode & 077) != 0 && ::fchmod(lock.get(), 0600) != 0) {
        noSafePlace(path, systemText(errno));
    }
    return lock;
}

// The process id that the holder of the lock stored in it; 0 when there is none yet.
long storedProcess(int lock) {
    char text[32];
    const ssize_t got = ::pread(lock, text, sizeof text, 0);
    long process = 0;
    if (got > 0) {
        std::from_chars(text, text + got, process);
    }
    return process;
}

void storeProcess(int lock) {
    const std::string text = std::to_string(getpid()) + "\n";
    if (::ftruncate(lock, 0) != 0 ||
        ::pwrite(lock, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
        // The id only tells a second start whom it met; the lock holds without it.
    }
}

// The lock this process holds, kept open for its whole life: the kernel drops the lock with the
// descriptor, so a crash never leaves a stale lock behind.
std::string heldPath;
Descriptor held;

} // namespace

InstanceClaim claimSingleInstance() {
    const std::string path = lockPath();
    if (path == heldPath) {
        return {true, 0};
    }
    Descriptor lock = openLockFile(path);
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            noSafePlace(path, systemText(errno));
        }
        return {false, storedProcess(lock.get())};
    }
    storeProcess(lock.get());
    heldPath = path;
    held = std::move(lock);
    return {true, 0};
}

} // namespace platform
