#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// What a name in the watched directory is itself, not what a link points to.
enum class EntryKind { Missing, RegularFile, Directory, Other };

// A file counts as unchanged while all five fields stay the same. The change time moves with any
// change to the file, its attributes and links included.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;

    bool operator==(const FileIdentity&) const = default;
};

// What a file itself tells of its use by other processes.
enum class FileUse {
    Free,
    HeldOpen,
    // The system cannot tell: another user's file, whose users this process may not look at.
    Unknown,
};

// A file being written into the directory "failed" under a name beginning with ".", which no one
// takes for a job; keep() gives it its own name once it is whole. One not kept is removed when it
// goes.
class FailedFile {
public:
    virtual ~FailedFile() = default;

    // Writes all count bytes at the end. Throws Failure.
    virtual void write(const std::uint8_t* data, std::size_t count) = 0;

    // Closes the file and renames it to the name it was made for, or the first free of name.1,
    // name.2, ...; replaces nothing. Returns its path. Throws Failure.
    virtual std::string keep() = 0;
};

// What the monitor and job processing ask of the file system. Paths are text (see Codepage.h);
// failures throw Failure with the system's description.
class WatchedDirectory {
public:
    virtual ~WatchedDirectory() = default;

    // Fills names with the directory's job names in byte order: regular files (no links) not named
    // ".*" (writers write under such a name, then rename the complete file). names keeps its room
    // from one call to the next.
    virtual void listJobNames(const std::string& directory, std::vector<std::string>& names) = 0;

    virtual EntryKind kind(const std::string& path) = 0;

    // Throws unless path is a regular file (not a link to one) that this process can read.
    virtual void checkReadable(const std::string& path) = 0;

    // Throws unless this process can add and remove names in the directory.
    virtual void checkWritable(const std::string& directory) = 0;

    virtual FileIdentity identity(const std::string& path) = 0;

    // Whether another process has the file open; anything but a regular file counts as open.
    // Throws when the file cannot be opened (a symbolic link, say).
    virtual FileUse fileUse(const std::string& path) = 0;

    // Renames within one directory in one step: never copies, never replaces an existing
    // destination. Throws when the source has gone, the destination is taken, or it is refused.
    virtual void renameFile(const std::string& source, const std::string& destination) = 0;

    // Moves what path names (a link or directory as it is) into the directory "failed" beside it,
    // made when missing and used only when it is a real directory, not a link, under name (the
    // path's own name when empty) or the first free of name.1, name.2, ...; replaces nothing.
    // Returns the new path.
    virtual std::string moveToFailed(const std::string& path, const std::string& name) = 0;

    // The bytes that the regular files in the directory "failed" beside path hold: 0 when there
    // is no such directory.
    virtual std::uint64_t failedSize(const std::string& path) = 0;

    // Begins a new file in the directory "failed" beside path, made when missing and used only
    // when it is a real directory, to be kept as name.
    virtual std::unique_ptr<FailedFile> createInFailed(const std::string& path,
                                                       const std::string& name) = 0;
};

std::unique_ptr<WatchedDirectory> makeSystemWatchedDirectory();

} // namespace platform
