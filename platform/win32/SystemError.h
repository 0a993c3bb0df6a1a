#pragma once

#include <string>

// Failures of Windows calls, described by the system itself.
namespace platform::win32 {

// The system's text for a Windows error code (FormatMessageA: the user's language, the ANSI
// code page), without the line end that the system puts after it.
std::string systemText(unsigned long error);

// Throws Failure with the system's text for the error code.
[[noreturn]] void throwError(unsigned long error);

// Throws Failure with the system's text for the calling thread's last error.
[[noreturn]] void throwLastError();

} // namespace platform::win32
