#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// What a name in the watched directory is, the name itself and not what a link points to.
enum class EntryKind { Missing, RegularFile, Other };

// What tells a file from its next version: it counts as unchanged while all four stay the same.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;

    bool operator==(const FileIdentity&) const = default;
};

// What the monitor asks of the file system. Paths and names are text (UTF-8); the
// implementation converts them to the operating system's form. Every failure throws Failure
// with the system's description.
class WatchedDirectory {
public:
    virtual ~WatchedDirectory() = default;

    // Calls visit with the names of the directory's jobs in byte order, as long as it returns
    // true. A job is a regular file whose name does not begin with "." (writers write under such
    // a name and rename the file when it is complete): symbolic links, subdirectories and other
    // kinds are never jobs.
    virtual void visitJobNames(const std::string& directory,
                               const std::function<bool(const std::string& name)>& visit) = 0;

    virtual EntryKind kind(const std::string& path) = 0;

    // Throws unless path is a regular file (not a link to one) that this process can read.
    virtual void checkReadable(const std::string& path) = 0;

    // Throws unless this process can add and remove names in the directory.
    virtual void checkWritable(const std::string& directory) = 0;

    virtual FileIdentity identity(const std::string& path) = 0;

    // Whether any other process has the file open, for reading or for writing. Anything but a
    // regular file counts as held open. A file that cannot be opened (a symbolic link among
    // them), or whose use by other processes cannot be told, throws.
    virtual bool isHeldOpen(const std::string& path) = 0;

    // Gives the file at source the name destination, in the same directory, in one step: the
    // file is never copied and always has a name, and a file that already has the destination's
    // name is never replaced. Throws Failure with the system's description when it cannot (the
    // source has gone, the destination is taken, the directory refuses).
    virtual void renameFile(const std::string& source, const std::string& destination) = 0;

    // Moves what path names (a link or a directory as it is) into the subdirectory "failed"
    // of its directory, made when missing, under its own name or, when a file there has it
    // already, under the first free one of name.1, name.2 and so on: nothing there is ever
    // replaced. Returns the new path.
    virtual std::string moveToFailed(const std::string& path) = 0;
};

// The operating system's.
std::unique_ptr<WatchedDirectory> makeSystemWatchedDirectory();

} // namespace platform
