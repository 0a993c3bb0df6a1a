#include "platform/WatchedDirectory.h"

#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/posix/Descriptor.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {
namespace {

using posix::Descriptor;
using posix::directoryOf;

// A directory stream closed when it goes.
class DirectoryStream {
public:
    explicit DirectoryStream(DIR* stream) : stream_(stream) {}
    ~DirectoryStream() {
        if (stream_ != nullptr) {
            ::closedir(stream_);
        }
    }
    DirectoryStream(const DirectoryStream&) = delete;
    DirectoryStream& operator=(const DirectoryStream&) = delete;

    DIR* get() const { return stream_; }

    // The next entry, nullptr at the end; a failed read throws.
    const dirent* next() {
        errno = 0;
        const dirent* entry = ::readdir(stream_);
        if (entry == nullptr && errno != 0) {
            throwSystemError(errno);
        }
        return entry;
    }

private:
    DIR* stream_;
};

bool isDotEntry(std::string_view name) {
    return name == "." || name == "..";
}

bool isDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// A directory's entries, read with getdents64 in large blocks: opendir's extra status lookup
// costs too much in a listing made ten times a second.
class DirectoryEntries {
public:
    explicit DirectoryEntries(const std::string& path)
        : directory_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_DIRECTORY | O_CLOEXEC)) {
        if (directory_.get() < 0) {
            throwSystemError(errno);
        }
    }
    explicit DirectoryEntries(Descriptor directory) : directory_(std::move(directory)) {}

    int fd() const { return directory_.get(); }

    // The next entry, nullptr at the end; a failed read throws.
    const dirent64* next() {
        if (at_ == size_) {
            const ssize_t got = ::getdents64(directory_.get(), buffer_, sizeof buffer_);
            if (got < 0) {
                throwSystemError(errno);
            }
            at_ = 0;
            size_ = static_cast<std::size_t>(got);
            if (size_ == 0) {
                return nullptr;
            }
        }
        const auto* entry = reinterpret_cast<const dirent64*>(buffer_ + at_);
        at_ += entry->d_reclen;
        return entry;
    }

private:
    Descriptor directory_;
    alignas(dirent64) char buffer_[32768];
    std::size_t at_ = 0;
    std::size_t size_ = 0;
};

// Whether the entry is itself a regular file; only an unknown d_type costs a lookup.
bool isRegularFile(int directory, const dirent64& entry) {
    if (entry.d_type != DT_UNKNOWN) {
        return entry.d_type == DT_REG;
    }
    struct stat info {};
    return ::fstatat(directory, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(info.st_mode);
}

// Whether the program can name the file: its name survives the trip to text and back.
bool isAddressable(std::string_view name) {
    return toCodepage(fromCodepage(name)) == name;
}

// Opens the name itself for reading, never through a link. O_NONBLOCK: neither a FIFO put in
// the file's place nor another process's lease makes the open wait.
constexpr int kOpenItself = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW;

// Whether any process has the file open, looked up in /proc/<pid>/fd: Unknown when a process's
// descriptors cannot be looked up (another user's, unless this one is root).
FileUse useAnywhere(dev_t device, ino_t inode) {
    DirectoryStream processes(::opendir("/proc"));
    if (processes.get() == nullptr) {
        return FileUse::Unknown;
    }
    while (const dirent* process = processes.next()) {
        const std::string_view pid(process->d_name);
        if (!isDigits(pid)) {
            continue;
        }
        const std::string fdPath = "/proc/" + std::string(pid) + "/fd";
        DirectoryStream descriptors(::opendir(fdPath.c_str()));
        if (descriptors.get() == nullptr) {
            if (errno == ENOENT) {
                continue; // the process ended meanwhile
            }
            return FileUse::Unknown;
        }
        while (const dirent* descriptor = descriptors.next()) {
            if (isDotEntry(descriptor->d_name)) {
                continue;
            }
            struct stat info {};
            if (::fstatat(::dirfd(descriptors.get()), descriptor->d_name, &info, 0) != 0) {
                if (errno == ENOENT) {
                    continue; // closed meanwhile
                }
                return FileUse::Unknown;
            }
            if (info.st_dev == device && info.st_ino == inode) {
                return FileUse::HeldOpen;
            }
        }
    }
    return FileUse::Free;
}

std::int64_t nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

std::string nameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// The directory "failed" beside file (in the system's code set), opened as itself, never through
// a link in its place. Made when missing if make is set; otherwise a missing one gives none (-1).
Descriptor openFailed(const std::string& file, bool make) {
    const std::string failed = directoryOf(file) + "/failed";
    if (make && ::mkdir(failed.c_str(), 0777) != 0 && errno != EEXIST) {
        throwSystemError(errno);
    }
    Descriptor into(::open(failed.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (into.get() < 0 && (make || errno != ENOENT)) {
        throwSystemError(errno);
    }
    return into;
}

// Renames from (in fromDirectory) into the directory into as name, or the first free of name.1,
// name.2, ...; replaces nothing. Returns the name it was given.
std::string renameToFreeName(int fromDirectory, const std::string& from, int into,
                             const std::string& name) {
    for (std::uint64_t n = 0;; ++n) {
        const std::string target = n == 0 ? name : name + "." + std::to_string(n);
        if (::renameat2(fromDirectory, from.c_str(), into, target.c_str(), RENAME_NOREPLACE) == 0) {
            return target;
        }
        if (errno == EINVAL || errno == ENOSYS) {
            // No RENAME_NOREPLACE: as in renameFile.
            struct stat taken {};
            if (::fstatat(into, target.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {
                continue;
            }
            if (::renameat(fromDirectory, from.c_str(), into, target.c_str()) == 0) {
                return target;
            }
        }
        if (errno != EEXIST) {
            throwSystemError(errno);
        }
    }
}

// A file written under a name beginning with "." in "failed", renamed once it is whole.
class PosixFailedFile final : public FailedFile {
public:
    PosixFailedFile(const std::string& file, const std::string& name)
        : failed_(directoryOf(file) + "/failed"), into_(openFailed(file, true)), name_(name) {
        for (std::uint64_t n = 0;; ++n) {
            // Put together by appending, which g++ 12 does not wrongly warn of (-Wrestrict).
            std::string hidden(1, '.');
            hidden += name_;
            if (n > 0) {
                hidden += '.';
                hidden += std::to_string(n);
            }
            hidden_ = std::move(hidden);
            file_ =
                Descriptor(::openat(into_.get(), hidden_.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
            if (file_.get() >= 0) {
                return;
            }
            if (errno != EEXIST) {
                hidden_.clear();
                throwSystemError(errno);
            }
        }
    }
    ~PosixFailedFile() override {
        if (!hidden_.empty()) {
            ::unlinkat(into_.get(), hidden_.c_str(), 0);
        }
    }
    PosixFailedFile(const PosixFailedFile&) = delete;
    PosixFailedFile& operator=(const PosixFailedFile&) = delete;

    void write(const std::uint8_t* data, std::size_t count) override {
        posix::writeAll(file_.get(), data, count);
    }

    std::string keep() override {
        file_.close();
        const std::string kept = renameToFreeName(into_.get(), hidden_, into_.get(), name_);
        hidden_.clear();
        return fromCodepage(failed_ + "/" + kept);
    }

private:
    const std::string failed_;
    const Descriptor into_;
    const std::string name_;
    std::string hidden_;
    Descriptor file_;
};

class PosixWatchedDirectory final : public WatchedDirectory {
public:
    void listJobNames(const std::string& directory, std::vector<std::string>& names) override {
        names.clear();
        {
            DirectoryEntries entries(toCodepage(directory));
            const int fd = entries.fd();
            while (const dirent64* entry = entries.next()) {
                const std::string_view name(entry->d_name);
                if (name.front() != '.' && isRegularFile(fd, *entry) && isAddressable(name)) {
                    names.push_back(fromCodepage(name));
                }
            }
        }
        std::sort(names.begin(), names.end());
    }

    EntryKind kind(const std::string& path) override {
        struct stat info {};
        if (::lstat(toCodepage(path).c_str(), &info) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) {
                return EntryKind::Missing;
            }
            throwSystemError(errno);
        }
        return S_ISREG(info.st_mode)   ? EntryKind::RegularFile
               : S_ISDIR(info.st_mode) ? EntryKind::Directory
                                       : EntryKind::Other;
    }

    void checkReadable(const std::string& path) override {
        posix::openRegularFile(toCodepage(path), O_NOFOLLOW);
    }

    void checkWritable(const std::string& directory) override {
        if (::faccessat(AT_FDCWD, toCodepage(directory).c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
            throwSystemError(errno);
        }
    }

    FileIdentity identity(const std::string& path) override {
        struct stat info {};
        if (::lstat(toCodepage(path).c_str(), &info) != 0) {
            throwSystemError(errno);
        }
        return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                static_cast<std::uint64_t>(info.st_size), nanoseconds(info.st_mtim),
                nanoseconds(info.st_ctim)};
    }

    FileUse fileUse(const std::string& path) override {
        Descriptor file(::open(toCodepage(path).c_str(), kOpenItself));
        if (file.get() < 0) {
            if (errno == EWOULDBLOCK) {
                return FileUse::HeldOpen; // another process holds a lease on it
            }
            throwSystemError(errno);
        }
        struct stat info {};
        if (::fstat(file.get(), &info) != 0) {
            throwSystemError(errno);
        }
        if (!S_ISREG(info.st_mode)) {
            return FileUse::HeldOpen; // put in the file's place since the listing: never taken
        }
        // A write lease is granted only while no other descriptor of the file is open. An open
        // elsewhere signals the holder: SIGURG, ignored by default, cannot end this process.
        if (::fcntl(file.get(), F_SETSIG, SIGURG) != 0) {
            throwSystemError(errno);
        }
        if (::fcntl(file.get(), F_SETLEASE, F_WRLCK) == 0) {
            // No longer a write lease: being broken, since another process opened the file.
            const bool broken = ::fcntl(file.get(), F_GETLEASE) != F_WRLCK;
            ::fcntl(file.get(), F_SETLEASE, F_UNLCK);
            return broken ? FileUse::HeldOpen : FileUse::Free;
        }
        if (errno != EACCES && errno != EPERM && errno != EINVAL) {
            return FileUse::HeldOpen; // EAGAIN: open elsewhere
        }
        // No lease for this file (another user's file, or a file system without leases).
        file.close();
        return useAnywhere(info.st_dev, info.st_ino);
    }

    void renameFile(const std::string& source, const std::string& destination) override {
        const std::string from = toCodepage(source);
        const std::string to = toCodepage(destination);
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
            return;
        }
        if (errno != EINVAL && errno != ENOSYS) {
            throwSystemError(errno);
        }
        // No RENAME_NOREPLACE on this file system: the name is looked at first (not atomic).
        struct stat taken {};
        if (::lstat(to.c_str(), &taken) == 0) {
            throwSystemError(EEXIST);
        }
        if (::rename(from.c_str(), to.c_str()) != 0) {
            throwSystemError(errno);
        }
    }

    std::string moveToFailed(const std::string& path, const std::string& keptName) override {
        const std::string file = toCodepage(path);
        const Descriptor into = openFailed(file, true);
        const std::string name = keptName.empty() ? nameOf(file) : toCodepage(keptName);
        return fromCodepage(directoryOf(file) + "/failed/" +
                            renameToFreeName(AT_FDCWD, file, into.get(), name));
    }

    std::uint64_t failedSize(const std::string& path) override {
        Descriptor failed = openFailed(toCodepage(path), false);
        if (failed.get() < 0) {
            return 0;
        }
        DirectoryEntries entries(std::move(failed));
        std::uint64_t size = 0;
        while (const dirent64* entry = entries.next()) {
            struct stat info {};
            if (::fstatat(entries.fd(), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT) {
                    continue; // removed meanwhile
                }
                throwSystemError(errno);
            }
            if (S_ISREG(info.st_mode)) {
                size += static_cast<std::uint64_t>(info.st_size);
            }
        }
        return size;
    }

    std::unique_ptr<FailedFile> createInFailed(const std::string& path,
                                               const std::string& name) override {
        return std::make_unique<PosixFailedFile>(toCodepage(path), toCodepage(name));
    }
};

} // namespace

std::unique_ptr<WatchedDirectory> makeSystemWatchedDirectory() {
    return std::make_unique<PosixWatchedDirectory>();
}

} // namespace platform
