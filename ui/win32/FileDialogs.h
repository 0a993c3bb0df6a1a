#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace ui::win32 {

// Windows' save dialog "Specify File", modal over owner, in the current directory; takes an
// existing file without asking, but no read-only one. The full path, or nothing. Throws Failure
// when the dialog fails.
std::optional<std::string> chooseFile(HWND owner);

// The same dialog as "Specify Directory", folders only, in C:\Tarvo_Test if it exists, else home:
// the confirmed name's directory (the shown one unless a path was typed), or nothing. Throws too.
std::optional<std::string> chooseDirectory(HWND owner, const std::string& home);

} // namespace ui::win32
