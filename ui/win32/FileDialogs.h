#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace ui::win32 {

// The file chooser: Windows' save dialog "Specify File", modal over owner, with the file name
// "*.*", starting in the process's current directory. It hides the read-only option, refuses a
// read-only file or a write-protected folder, requires the file's folder to exist but not the
// file, and takes an existing file without asking. Gives the file's full path, or nothing when
// it was cancelled. Throws Failure when the dialog fails.
std::optional<std::string> chooseFile(HWND owner);

// The directory chooser on the same dialog: "Specify Directory", listing folders only (the
// filter "Directories" matches no ordinary file), with the name "Select a Directory", which it
// takes unchecked. It starts in C:\Tarvo_Test when that exists, else in the user's profile
// folder (home). Gives the directory that the confirmed name lies in, which is the one the dialog
// showed unless a path was typed, or nothing when it was cancelled. Throws Failure when the
// dialog fails.
std::optional<std::string> chooseDirectory(HWND owner, const std::string& home);

} // namespace ui::win32
