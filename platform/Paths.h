#pragma once

#include <string>
#include <string_view>

namespace platform {

// The directory and the name joined by the platform's separator ("/", or "\\" on Windows).
// Paths are joined literally: nothing is added or removed besides this one separator, so a
// directory that ends in a separator gives two in a row.
std::string joinPath(std::string_view directory, std::string_view name);

// Whether path names an existing directory (or a link to one).
bool directoryExists(const std::string& path);

// Whether the system would not make a plain file of that name in a directory, beyond what
// every platform refuses (separators, "." and "..", control characters). On Windows: an empty
// name, one with ":" (an alternate data stream) or any of < > " | ? *, one that ends in a dot or
// a blank, and a device name (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9) with or without
// an extension, which would reach the device. Nothing elsewhere.
bool isReservedFileName(std::string_view name);

// Where this copy of the program is, and whose it is.
struct Locations {
    // The directory that holds the executable, without a trailing separator except for the
    // root.
    std::string applicationDirectory;
    // The executable's file name, without its directory.
    std::string executableName;
    // The user's home directory ("" when the system names none).
    std::string homeDirectory;
};

// The running program's. Throws Failure when the system cannot tell where its executable is.
Locations systemLocations();

// The monitor directory used when the settings file names none.
std::string defaultMonitorDirectory(const Locations& locations);

// Whether name, in directory, is one of the program's own files: the settings file "tarvo.ini"
// (and the name under which a save writes its successor), the log "Tarvo.log" or the
// executable, when directory is the application directory (the same directory, however it is
// written). Such a file is never taken as a job nor written as a job's output.
bool isProgramFile(const Locations& locations, const std::string& directory, std::string_view name);

} // namespace platform
