#pragma once

namespace ui::win32 {

// Throws Failure for a window function that failed: the system's text for the thread's last
// error, or the given description where the function left no error code.
[[noreturn]] void throwWindowFailure(const char* description);

} // namespace ui::win32
