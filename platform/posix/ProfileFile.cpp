#include "platform/ProfileFile.h"

#include "platform/Failure.h"
#include "platform/ProfileText.h"
#include "platform/posix/Descriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {
namespace {

using posix::Descriptor;
using posix::directoryOf;
using posix::readAll;
using posix::writeAll;

// -1 when missing. Opened without waiting, and refused unless a regular file, so that no pipe
// or device in its place can stall the program.
int openExisting(const std::string& path) {
    return posix::openRegularFileIfAny(path).release();
}

// The target of a symbolic link, so that a write keeps the link.
std::string replacedFile(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    const std::unique_ptr<char, decltype(&std::free)> target(realpath(path.c_str(), nullptr),
                                                             &std::free);
    return target ? std::string(target.get()) : path;
}

// Always the same, so a save stopped before its rename leaves one spare file, not one per save.
std::string temporaryName(const std::string& target) {
    return target + ".tmp";
}

// Gives the unnamed file open on fd the temporary name beside target, and returns the name.
std::string linkTemporary(int fd, const std::string& target) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const std::string name = temporaryName(target);
    ::unlink(name.c_str());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        throwSystemError(errno);
    }
    return name;
}

// For file systems without O_TMPFILE; name receives the temporary name.
int createTemporary(const std::string& target, std::string& name) {
    const std::string temporary = temporaryName(target);
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        throwSystemError(errno);
    }
    name = temporary;
    return fd;
}

// A rename needs only the directory writable, so a file this process may not write, or that no
// one may (which root could write all the same), is refused before anything is made.
void refuseReadOnly(const std::string& file) {
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) {
        return;
    }
    if ((info.st_mode & 0222) == 0) {
        throwSystemError(EACCES);
    }
    if (faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0) {
        throwSystemError(errno);
    }
}

// Makes a rename durable. The rename has happened already, so a failure is not reported.
void syncDirectoryOf(const std::string& file) {
    const int fd = ::open(directoryOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
    }
}

// Flushed before the rename: a crash or a full disk leaves the old file or the new one, never a
// part. Made without a name until complete, so that a killed write leaves nothing behind.
void replaceWith(const std::string& target, std::string_view content,
                 const std::optional<struct stat>& old) {
    std::string temporary;
    try {
        Descriptor out(::open(directoryOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
        const bool anonymous = out.get() >= 0;
        if (!anonymous) {
            // No O_TMPFILE here: named from the start.
            out = Descriptor(createTemporary(target, temporary));
        }
        if (old) {
            // Keeps the old file's owner and permissions where the system allows.
            if (fchown(out.get(), old->st_uid, old->st_gid) != 0) {
                // It stays with the writer's owner.
            }
            fchmod(out.get(), old->st_mode & 07777);
        }
        writeAll(out.get(), content.data(), content.size());
        if (fsync(out.get()) != 0) {
            throwSystemError(errno);
        }
        if (anonymous) {
            temporary = linkTemporary(out.get(), target);
        }
        out.close();
        if (std::rename(temporary.c_str(), target.c_str()) != 0) {
            throwSystemError(errno);
        }
        temporary.clear();
        syncDirectoryOf(target);
    } catch (const std::exception&) {
        if (!temporary.empty()) {
            ::unlink(temporary.c_str());
        }
        throw;
    }
}

} // namespace

std::size_t readProfileValue(std::string_view section, std::string_view key,
                             std::string_view defaultValue, char* buffer, std::size_t size,
                             const std::string& path) {
    const Descriptor file(openExisting(path));
    if (file.get() < 0) {
        return profile::copyOut(defaultValue, buffer, size);
    }
    const profile::ByteSource source = [&file](char* chunk, std::size_t count) {
        for (;;) {
            const ssize_t got = ::read(file.get(), chunk, count);
            if (got >= 0) {
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR) {
                throwSystemError(errno);
            }
        }
    };
    const std::optional<std::string> value = profile::findValue(source, section, key);
    return profile::copyOut(value ? *value : defaultValue, buffer, size);
}

// The file a write replaces, its text with the keys set so far, and its owner and permissions.
struct ProfileWrite::State {
    std::string path;
    std::string target;
    std::optional<std::string> content;
    std::optional<struct stat> owner;
    bool loaded = false;
};

ProfileWrite::ProfileWrite(std::string path) : state_(std::make_unique<State>()) {
    state_->path = std::move(path);
}

ProfileWrite::~ProfileWrite() = default;

bool ProfileWrite::set(std::string_view section, std::string_view key, std::string_view value) {
    State& s = *state_;
    if (!profile::fitsTheFile(section, key, value)) {
        return false;
    }
    if (!s.loaded) {
        s.target = replacedFile(s.path);
        const Descriptor in(openExisting(s.target));
        if (in.get() >= 0) {
            s.content = readAll(in.get());
            struct stat info {};
            if (fstat(in.get(), &info) == 0) {
                s.owner = info;
            }
        }
        s.loaded = true;
    }
    s.content = profile::withKey(s.content, section, key, value);
    return true;
}

void ProfileWrite::commit() {
    const State& s = *state_;
    if (!s.content) {
        return;
    }
    refuseReadOnly(s.target);
    replaceWith(s.target, *s.content, s.owner);
}

void probeProfileFile(const std::string& path) {
    const Descriptor file(openExisting(path));
}

} // namespace platform
