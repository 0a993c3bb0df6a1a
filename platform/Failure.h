#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// A platform or program failure; what() is what the log's failure line shows after the prefix.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A wait on something outside the program that a request to stop the program cut short. The
// job in hand ends there, without the section that waited, which the next start delivers.
class Interrupted : public Failure {
public:
    Interrupted() : Failure("Stopped while waiting") {}
};

// A file or directory that is not there (any more): another process may have taken it.
class NotFound : public Failure {
public:
    using Failure::Failure;
};

// A failure that passes by itself: another program holds the file for a moment (a lease being
// broken; on Windows a sharing violation), and the same call may succeed soon after.
class FileBusy : public Failure {
public:
    using Failure::Failure;
};

// The program's own failure descriptions, in the style of the system's texts.
namespace description {
inline constexpr const char* kSubscriptOutOfRange = "Subscript out of range";
inline constexpr const char* kOverflow = "Overflow";
inline constexpr const char* kFileNotFound = "File not found";
inline constexpr const char* kPathNotFound = "Path not found";
inline constexpr const char* kPermissionDenied = "Permission denied";
inline constexpr const char* kBadFileName = "Bad file name or number";
inline constexpr const char* kOutOfMemory = "Out of memory";
inline constexpr const char* kInputPastEnd = "Input past end of file";
inline constexpr const char* kFileNameNotAllowed = "File name not allowed";
inline constexpr const char* kTargetCut = "The target was cut to 254 bytes in the settings file";
inline constexpr const char* kNotARegularFile = "Not a regular file";
// "No progress writing for <n> seconds: <target>", of a device or a pipe that takes nothing.
inline constexpr const char* kNoProgressWritingFor = "No progress writing for ";
// "No answer from the print server within <n> seconds", "No progress printing for <n> seconds".
inline constexpr const char* kNoAnswerFromPrintServerWithin =
    "No answer from the print server within ";
inline constexpr const char* kNoProgressPrintingFor = "No progress printing for ";
inline constexpr const char* kSeconds = " seconds";
// "The desktop cannot open <path>", of a menu item that opens a file or folder.
inline constexpr const char* kDesktopCannotOpen = "The desktop cannot open ";
} // namespace description

// Throws a Failure whose description is the operating system's text for the error number.
[[noreturn]] void throwSystemError(int errorNumber);

// The description of any caught exception: the Failure's text, "Out of memory" for an
// allocation failure, "Subscript out of range" for an index outside an array.
std::string describe(const std::exception& failure);

} // namespace platform
