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

// Names that begin with ".", so the lock file is never a job, even in a watched directory.
constexpr const char* kLockDirectory = ".tarvo";
constexpr const char* kLockFile = ".tarvo.lock";

[[noreturn]] void noSafePlace(const std::string& path, const std::string& reason) {
    throw Failure("No safe place for the single-instance lock: " + fromCodepage(path) + ": " +
                  reason);
}

std::string systemText(int error) {
    return fromCodepage(std::strerror(error));
}

// Throws unless info is of this user's own directory, writable by nobody else. Others may read
// it: the lock file itself is the owner's alone.
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

struct LockDirectory {
    std::string path;
    Descriptor descriptor;
};

// ".tarvo" in the home directory, made when missing. Both must be this user's and writable by
// nobody else, so no other user can create, hold or remove the lock; ".tarvo" is never followed
// through a link, which could lead into a directory that others share.
LockDirectory openLockDirectory(const std::string& homeDirectory) {
    const std::string home = toCodepage(homeDirectory);
    if (home.empty()) {
        throw Failure("No safe place for the single-instance lock: this user has no home "
                      "directory");
    }
    struct stat homeInfo {};
    if (::stat(home.c_str(), &homeInfo) != 0) {
        noSafePlace(home, systemText(errno));
    }
    requirePrivateDirectory(home, homeInfo);

    const std::string path = joinPath(home, kLockDirectory);
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        noSafePlace(path, systemText(errno));
    }
    // O_PATH with O_NOFOLLOW opens a link itself, which then fails the check below.
    Descriptor directory(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (directory.get() < 0 || ::fstat(directory.get(), &info) != 0) {
        noSafePlace(path, systemText(errno));
    }
    requirePrivateDirectory(path, info);
    return {path, std::move(directory)};
}

// The lock file in the directory, readable and writable by this user alone.
Descriptor openLockFile(int directory, const std::string& path) {
    Descriptor lock(
        ::openat(directory, kLockFile, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
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

} // namespace

// Kept open for the object's life; the kernel drops the lock with it, so none goes stale.
struct InstanceLock::Held {
    Descriptor lock;
};

InstanceLock::InstanceLock(std::unique_ptr<Held> held, long runningProcess)
    : held_(std::move(held)), runningProcess_(runningProcess) {}
InstanceLock::InstanceLock(InstanceLock&&) noexcept = default;
InstanceLock& InstanceLock::operator=(InstanceLock&&) noexcept = default;
InstanceLock::~InstanceLock() = default;

InstanceLock InstanceLock::claim(const std::string& homeDirectory) {
    const LockDirectory directory = openLockDirectory(homeDirectory);
    const std::string path = joinPath(directory.path, kLockFile);
    Descriptor lock = openLockFile(directory.descriptor.get(), path);
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            noSafePlace(path, systemText(errno));
        }
        return InstanceLock(nullptr, storedProcess(lock.get()));
    }
    storeProcess(lock.get());
    return InstanceLock(std::make_unique<Held>(Held{std::move(lock)}), 0);
}

} // namespace platform
