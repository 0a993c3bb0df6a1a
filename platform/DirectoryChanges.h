#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// What the watched directory's changes tell of a file's use by other processes.
enum class OpenState {
    // The file predates the watch, changes were lost, or the platform does not report opens.
    Unknown,
    // Opened more often than closed since it appeared.
    Open,
    // Made in the directory by an open, and every open closed again.
    Closed,
};

// One directory's changes, read in the program's thread: they wake the monitor when a job may
// be ready, and count its files' opens and closes by name from the start of the watch. The
// system may report two like events in a row as one: the counts are a hint.
class DirectoryChanges {
public:
    virtual ~DirectoryChanges() = default;

    // Ready (readable; signalled on Windows) while changes wait, for the event loop to watch;
    // constant for the object's life. -1 when there is none: only the timer finds jobs.
    virtual std::intptr_t readyHandle() const = 0;

    // Reads the waiting changes, so the handle is no longer ready for them; the watch begins at
    // the first call at which the directory exists. True when a job may have become ready (a
    // file closed after writing or moved in, or changes lost). Never throws.
    virtual bool readChanges() = 0;

    // Whether the directory's changes are reported now: not before the directory exists, nor
    // on a file system that other machines change (a network share), whose changes only a look
    // at the directory finds.
    virtual bool watching() const = 0;

    // Reads the waiting changes first. Never throws.
    virtual OpenState openState(const std::string& name) = 0;

    // The program opens the file of that name itself, to ask it of its use: from now on its
    // opens and closes count for nothing, and its state stays Unknown until the name goes (or a
    // new file is made under it). Reads no changes: the events that wait are of the file's
    // past, and the program's own open among them is then counted for nothing too.
    virtual void distrust(const std::string& name) = 0;
};

// directory is text. Never fails; where the system cannot follow it, the object reports nothing.
std::unique_ptr<DirectoryChanges> followChanges(const std::string& directory);

} // namespace platform
