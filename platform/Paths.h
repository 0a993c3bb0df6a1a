#pragma once

#include <string>
#include <string_view>

namespace platform {

// Joined literally by the platform's separator ("/", or "\\" on Windows): a directory that ends
// in a separator gives two in a row.
std::string joinPath(std::string_view directory, std::string_view name);

// The last part of a path, after its last separator ("/" or "\").
std::string_view fileNameOf(std::string_view path);

// Whether name stays within a directory that it is joined to: not empty, not "." or "..", and
// without a separator ("/" or "\") or a NUL. What a record read from disk names must be.
bool isPlainFileName(std::string_view name);

// Whether path names an existing directory (or a link to one).
bool directoryExists(const std::string& path);

// Whether the system refuses a plain file of that name beyond what all do (separators, "." and
// "..", control characters). On Windows: empty; ":" or < > " | ? *; a trailing dot or blank; a
// device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9), with or without extension. Elsewhere none.
bool isReservedFileName(std::string_view name);

// Where this copy of the program is, and whose it is.
struct Locations {
    // The executable's directory, without a trailing separator except for the root.
    std::string applicationDirectory;
    // The executable's file name, without its directory.
    std::string executableName;
    // The user's home directory ("" when the system names none).
    std::string homeDirectory;
    // The settings file and the log of this copy: beside the executable, or for an installed
    // copy in the user's own directories (posix/ProgramLocations.h).
    std::string settingsFile;
    std::string logFile;
};

// The running program's; an installed copy's directories are made when missing. Throws Failure
// when the system cannot tell where the executable is, or a directory cannot be made.
Locations systemLocations();

// The monitor directory used when the settings file names none.
std::string defaultMonitorDirectory(const Locations& locations);

// Whether name in directory is one of the program's own files, never a job nor output: the
// settings file (and a save's temporary), the log or the executable, each in its own directory,
// however that is written.
bool isProgramFile(const Locations& locations, const std::string& directory, std::string_view name);

} // namespace platform
