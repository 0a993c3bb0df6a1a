#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// The settings file: an INI-style profile file (see ProfileText.h) read and written key by key.
// Paths are in the system's code set (see Codepage.h); names and values are bytes.
namespace platform {

// The key's value, or defaultValue when file, section or key is missing, copied into buffer as
// profile::copyOut does. Throws Failure when the file exists but cannot be read.
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

    // Sets the key in the new content (see profile::withKey). False, changing nothing, when a
    // name or the value would not fit the file. Throws Failure when it exists but is unreadable.
    bool set(std::string_view section, std::string_view key, std::string_view value);

    // Does nothing when nothing was set. Throws Failure, the old file unchanged, when the file is
    // read-only ("Permission denied") or the write fails.
    void commit();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Throws Failure when the file exists but cannot be read (no permission, not a regular file).
void probeProfileFile(const std::string& path);

// One key through one ProfileWrite. False, the old file unchanged, when it is read-only (for
// this process, or for anyone), the write fails, or a name or the value would not fit.
bool writeProfileValue(std::string_view section, std::string_view key, std::string_view value,
                       const std::string& path);

} // namespace platform
