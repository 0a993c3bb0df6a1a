#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Plain file operations. Paths are in the system's code set (see Codepage.h); failures throw
// Failure with the system's description.
namespace platform {

// A descriptor, or a handle on Windows; kNoFile when none is open.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// A job's work file, opened for binary reading without waiting: only a regular file opens, never
// through a symbolic link; a directory fails with "Is a directory".
class JobFile {
public:
    explicit JobFile(const std::string& path);
    ~JobFile();
    JobFile(const JobFile&) = delete;
    JobFile& operator=(const JobFile&) = delete;

    // Takes the lock that one process at a time holds on a work file while it routes it; false
    // when another process holds it.
    bool lock();
    // Removes the file's name, so it is not taken for a job again; its bytes stay readable here.
    void remove();
    // The file's length now.
    std::uint64_t length() const;
    // Reads up to count bytes; fewer only at the end of the file, and 0 there.
    std::size_t read(std::uint8_t* destination, std::size_t count);
    // As read, from offset, without moving the current position.
    std::size_t readAt(std::uint64_t offset, std::uint8_t* destination, std::size_t count);

private:
    std::string path_;
    FileHandle handle_;
};

// How long a write to a device or a pipe may make no progress before it fails.
inline constexpr std::chrono::seconds kWriteStallLimit{30};

// A file opened for binary writing from its first byte: created when missing, otherwise left as
// it is until the first write empties a regular file, so one opened for nothing keeps what it
// held. Opening never waits: a pipe that nobody reads fails to open.
class WriteFile {
public:
    // Follows symbolic links anywhere in path. A device or a pipe may be slow to take bytes: a
    // write that makes no progress for stallLimit fails ("No progress writing for 30 seconds:
    // <path>"), and a stop request while it waits throws Interrupted.
    explicit WriteFile(const std::string& path, std::chrono::seconds stallLimit = kWriteStallLimit);
    // Only a regular file, the directory's own: a symbolic link in name's place (dangling or
    // not), a pipe, a device or a directory is refused ("File name not allowed"). Links in
    // directory are followed.
    WriteFile(const std::string& directory, const std::string& name);
    ~WriteFile();
    WriteFile(const WriteFile&) = delete;
    WriteFile& operator=(const WriteFile&) = delete;

    // Writes all count bytes at the current position.
    void write(const std::uint8_t* data, std::size_t count);
    void close();

private:
    FileHandle handle_;
    bool emptied_ = false;
    // The path of a target that is no regular file, whose writes may wait; empty for a regular
    // file, whose writes go straight through.
    std::string slowTarget_;
    std::chrono::seconds stallLimit_ = kWriteStallLimit;
};

// Appends the bytes to the regular file at path, creating it when missing; opened and closed
// within the call, and never waiting: anything else in the name's place is refused ("Not a
// regular file", a directory "Is a directory"), and a file that another program holds for a
// moment throws FileBusy.
void appendToFile(const std::string& path, std::string_view bytes);

// Tells whoever watches the program (a terminal, the journal of a service) what the log or the
// tray cannot: "Tarvo: <text>" on standard error, on Windows in the debugger's output too. The
// text is in the system's code set.
void reportOnStandardError(const std::string& text);

// Throws when the system refuses to look the path up (empty or too long name, no permission,
// I/O error); a missing path, or one through a non-directory, is no failure.
void probeDirectory(const std::string& path);

} // namespace platform
