#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Plain file operations. Paths are in the operating system's form (the locale's code set,
// see Codepage.h). Every failure throws platform::Failure with the system's description.
namespace platform {

// A file of the operating system as the platform code holds it: a descriptor, or a handle;
// kNoFile when none is open.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// The work file of a job, opened for binary reading. Only a regular file opens, never through
// a symbolic link in its place: a directory fails with "Is a directory", any other kind (a
// link, a pipe, a device) with the system's description, and none makes the program wait.
class JobFile {
public:
    explicit JobFile(const std::string& path);
    ~JobFile();
    JobFile(const JobFile&) = delete;
    JobFile& operator=(const JobFile&) = delete;

    // Removes the file's name from its directory. Its bytes stay readable through this object
    // until it goes, and nothing is left behind to be taken for a job again.
    void remove();
    // The file's length now.
    std::uint64_t length() const;
    // Reads up to count bytes from the current position; fewer only at the end of the file, and
    // 0 there.
    std::size_t read(std::uint8_t* destination, std::size_t count);
    // Reads up to count bytes from offset, without moving the current position; fewer only at
    // the end of the file.
    std::size_t readAt(std::uint64_t offset, std::uint8_t* destination, std::size_t count);

private:
    std::string path_;
    FileHandle handle_;
};

// A file opened for binary writing from its first byte: created when missing, and otherwise
// left as it is until the first write, which empties a regular file first. So a file written
// never holds old bytes after the new ones, and one opened for nothing keeps what it held. A
// pipe that nobody reads fails to open rather than making the program wait.
class WriteFile {
public:
    // Opens the path, following symbolic links anywhere in it.
    explicit WriteFile(const std::string& path);
    // Opens the file name inside directory. A symbolic link in name's place is refused ("Too
    // many levels of symbolic links"), dangling or not, so that the file written is always
    // one of the directory's own; links in directory itself are followed.
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
};

// Appends the bytes to the file, creating it when missing; opened and closed within the call.
void appendToFile(const std::string& path, std::string_view bytes);

// Looks the directory up. A path that does not exist, or that runs through a non-directory, is
// no failure; a lookup that the system refuses (an empty or too long name, no permission, an
// I/O error) throws.
void probeDirectory(const std::string& path);

} // namespace platform
