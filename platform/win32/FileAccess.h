#pragma once

#include "platform/win32/Handle.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// The file operations that the Windows platform code shares. Paths are in the ANSI code page.
namespace platform::win32 {

inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// CreateFileA; a failure throws Failure with the system's text.
Handle openFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                DWORD flags = 0);

// Opens the name itself (file or directory) only to look at it, never through a reparse point,
// whatever sharing other processes' handles allow.
Handle openToLookAt(const std::string& path);

BY_HANDLE_FILE_INFORMATION informationOf(HANDLE file);

// Whether the attributes are those of a plain file: no directory, no reparse point, no device.
bool isPlainFile(DWORD attributes);

// Throws unless the information is of a plain file: a directory fails as opening one for data
// fails ("Access is denied"), anything else with the system's ERROR_CANT_ACCESS_FILE text.
void requirePlainFile(const BY_HANDLE_FILE_INFORMATION& information);

// Reads until count bytes are in or the file ends; returns how many came.
std::size_t readFully(HANDLE file, std::uint8_t* destination, std::size_t count);

// Writes all count bytes at the file's position.
void writeAll(HANDLE file, const void* data, std::size_t count);

} // namespace platform::win32
