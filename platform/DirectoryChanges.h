#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// What the changes of the watched directory tell of a file's use by other processes.
enum class OpenState {
    // Nothing is known: the file was there before its directory was watched, changes have been
    // lost since, or the platform does not report opens and closes.
    Unknown,
    // Opened more often than closed since it appeared.
    Open,
    // Every open closed again, or moved in from elsewhere as a whole.
    Closed,
};

// The changes of one directory as the system reports them, read in the program's own thread:
// what wakes the monitor as soon as a job may have become ready, and the opens and closes of
// its files, counted by name from the time that the directory is watched.
class DirectoryChanges {
public:
    virtual ~DirectoryChanges() = default;

    // A handle that becomes ready (readable; signalled on Windows) while changes wait to be
    // read, for the event loop to watch. The same for the object's life; -1 when the platform
    // has none to give, and only the timer finds the jobs.
    virtual std::intptr_t readyHandle() const = 0;

    // Reads the changes that wait, so that the handle is no longer ready for them. The
    // directory is watched from the first call at which it exists. True when changes read since
    // the last call may have made a job ready: a file closed after writing, a file moved in, or
    // changes lost. Never throws: what cannot be watched is simply not reported.
    virtual bool readChanges() = 0;

    // What the changes tell of the file of that name (UTF-8) in the directory, once those that
    // wait have been read. Never throws.
    virtual OpenState openState(const std::string& name) = 0;
};

// Follows the changes of the directory (UTF-8) from now on. Never fails; where the system
// cannot follow them, the object reports none.
std::unique_ptr<DirectoryChanges> followChanges(const std::string& directory);

} // namespace platform
