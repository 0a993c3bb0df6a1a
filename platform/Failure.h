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
inline constexpr const char* kSeconds = " seconds";
} // namespace description

// Throws a Failure whose description is the operating system's text for the error number.
[[noreturn]] void throwSystemError(int errorNumber);

// The description of any caught exception: the Failure's text, "Out of memory" for an
// allocation failure, "Subscript out of range" for an index outside an array.
std::string describe(const std::exception& failure);

} // namespace platform
