#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// The settings file: an INI-style profile file read and written key by key, in the form that
// ProfileText.h describes. Every argument is in the code set of the system (see Codepage.h);
// names and values are bytes.
namespace platform {

// Copies the value of the key into buffer, or defaultValue when the file, the section or the
// key is missing; a key with nothing after "=" gives "". The value loses the blanks around it
// and one pair of double or single quotes that encloses all of it. The copy is cut to fit the
// buffer with its terminating zero (at most size - 1 bytes). Returns the number of bytes
// copied, without the zero. A file that exists but cannot be read (see probeProfileFile) throws
// Failure.
std::size_t readProfileValue(std::string_view section, std::string_view key,
                             std::string_view defaultValue, char* buffer, std::size_t size,
                             const std::string& path);

// Several keys set in one replacement of the file: after commit() the file holds all of them,
// and a process that dies before or during it leaves the file as it was.
class ProfileWrite {
public:
    explicit ProfileWrite(std::string path);
    ~ProfileWrite();
    ProfileWrite(const ProfileWrite&) = delete;
    ProfileWrite& operator=(const ProfileWrite&) = delete;

    // Sets the key's value in the new content, as writeProfileValue does in the file.
    // Returns false, changing nothing, when a name or the value would not fit on one line of
    // the file. Throws Failure when the file exists but cannot be read.
    bool set(std::string_view section, std::string_view key, std::string_view value);

    // Writes the new content over the file; does nothing when nothing was set. Throws Failure,
    // with the old file unchanged, when the file is read-only ("Permission denied") or when
    // the write fails.
    void commit();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Throws Failure when the settings file exists but cannot be read: no read permission, a
// directory or anything but a regular file in its place. A missing file is no failure.
void probeProfileFile(const std::string& path);

// Sets the key's value: replaces it in place when the key exists, or adds the key after the
// last key of its section, creating the section at the end of the file and the file itself
// when missing. Every other line stays as it was. The new content goes to a temporary file
// beside the settings file that is flushed to disk and renamed over it, so the file is never
// left half-written. Returns false, with the old file unchanged, when the file is read-only
// (no write permission for the process, or none for anyone), when the write fails or when a
// name or the value would not fit on one line of the file.
bool writeProfileValue(std::string_view section, std::string_view key, std::string_view value,
                       const std::string& path);

} // namespace platform
