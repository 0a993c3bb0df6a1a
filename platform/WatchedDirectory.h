#pragma once

#include <string>

namespace platform {

// What the monitor asks of the file system. Paths and names are text (UTF-8); the
// implementation converts them to the operating system's form. Every failure throws Failure
// with the system's description.
class WatchedDirectory {
public:
    virtual ~WatchedDirectory() = default;

    // The name of the directory's first regular file (or symbolic link to one) in byte order
    // of names; "" when it holds none. Subdirectories and other kinds are never named.
    // Neither is a temporary name of a hand-off to the work file ("newjob.tmp<pid>-<n>"): one
    // that is there was left by a hand-off that did not finish, whose job file still exists,
    // so the listing removes it. A removal that fails only leaves the name unlisted.
    virtual std::string firstFileName(const std::string& directory) = 0;

    // Whether path names a regular file (or a symbolic link to one).
    virtual bool isFile(const std::string& path) = 0;

    // Whether any other process has the file open, for reading or for writing. A file whose
    // state cannot be told, and anything but a regular file, counts as held open. A file that
    // cannot be opened throws.
    virtual bool isHeldOpen(const std::string& path) = 0;

    // Makes destination a copy of source, replacing a destination that exists. The copy is
    // complete on disk when the call returns; on failure destination is as it was.
    virtual void copyFile(const std::string& source, const std::string& destination) = 0;

    virtual void deleteFile(const std::string& path) = 0;

    // Removes every other name that the file at path has in its own directory. A hand-off
    // stopped after giving the job file the work file's name, before removing the job's own
    // name, leaves the job under both; the work file is processed, the other name must not be
    // handed over again. Best effort: never throws, since the work file then holds the only
    // copy of the job and a failure here must not discard it.
    virtual void removeOtherNames(const std::string& path) = 0;
};

// The implementation in use: the operating system's unless a replacement is installed.
WatchedDirectory& watchedDirectory();

// Installs a replacement (tests); nullptr restores the operating system's.
void setWatchedDirectory(WatchedDirectory* replacement);

} // namespace platform
