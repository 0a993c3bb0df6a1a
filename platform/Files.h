#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Plain file operations. Paths are in the operating system's form (the locale's code set,
// see Codepage.h). Every failure throws platform::Failure with the system's description.
namespace platform {

// A regular file opened for binary reading. A directory fails to open with "Is a directory",
// any other kind (a pipe, a device) with "Invalid argument", and neither makes the program wait.
class ReadFile {
public:
    explicit ReadFile(const std::string& path);
    ~ReadFile();
    ReadFile(const ReadFile&) = delete;
    ReadFile& operator=(const ReadFile&) = delete;

    std::uint64_t length() const;
    // Reads exactly count bytes from the current position.
    void read(std::uint8_t* destination, std::size_t count);
    void close();

private:
    int fd_;
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
    int fd_;
    bool emptied_ = false;
};

void deleteFile(const std::string& path);

// Appends the bytes to the file, creating it when missing; opened and closed within the call.
void appendToFile(const std::string& path, std::string_view bytes);

// Looks the directory up. A path that does not exist, or that runs through a non-directory, is
// no failure; a lookup that the system refuses (an empty or too long name, no permission, an
// I/O error) throws.
void probeDirectory(const std::string& path);

} // namespace platform
