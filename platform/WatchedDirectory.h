#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// What a name in the watched directory is itself, not what a link points to.
enum class EntryKind { Missing, RegularFile, Other };

// A file counts as unchanged while all four fields stay the same.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;

    bool operator==(const FileIdentity&) const = default;
};

// What the monitor asks of the file system. Paths are text (see Codepage.h); failures throw
// Failure with the system's description.
class WatchedDirectory {
public:
    virtual ~WatchedDirectory() = default;

    // Calls visit with the job names in byte order while it returns true: regular files (no links)
    // not named ".*" (writers write under such a name, then rename the complete file).
    virtual void visitJobNames(const std::string& directory,
                               const std::function<bool(const std::string& name)>& visit) = 0;

    virtual EntryKind kind(const std::string& path) = 0;

    // Throws unless path is a regular file (not a link to one) that this process can read.
    virtual void checkReadable(const std::string& path) = 0;

    // Throws unless this process can add and remove names in the directory.
    virtual void checkWritable(const std::string& directory) = 0;

    virtual FileIdentity identity(const std::string& path) = 0;

    // Whether another process has the file open; anything but a regular file counts as open. Throws
    // when it cannot be opened (a symbolic link, say) or its use cannot be told.
    virtual bool isHeldOpen(const std::string& path) = 0;

    // Renames within one directory in one step: never copies, never replaces an existing
    // destination. Throws when the source has gone, the destination is taken, or it is refused.
    virtual void renameFile(const std::string& source, const std::string& destination) = 0;

    // Moves what path names (a link or directory as it is) into "failed", made when missing, under
    // its name or the first free of name.1, name.2, ...; replaces nothing. Returns the new path.
    virtual std::string moveToFailed(const std::string& path) = 0;
};

std::unique_ptr<WatchedDirectory> makeSystemWatchedDirectory();

} // namespace platform
