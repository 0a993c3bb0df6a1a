#pragma once

#include "platform/win32/Handle.h"

#include <windows.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

// The file operations that the Windows platform code shares. Paths are in the ANSI code page;
// the calls take them through the wide-character functions, so no path is cut at 260 characters.
namespace platform::win32 {

inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The path as the wide-character functions take it: as it is while it is short, else in its
// "\\?\" form (made absolute, separators and "." and ".." resolved as the system resolves them),
// which the functions take at any length even where the system limits paths to 260 characters.
std::wstring systemPath(const std::string& path);

// CreateFileW; a failure throws Failure with the system's text.
Handle openFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                DWORD flags = 0);

// Opens the name itself (file or directory) only to look at it, never through a reparse point,
// whatever sharing other processes' handles allow.
Handle openToLookAt(const std::string& path);

BY_HANDLE_FILE_INFORMATION informationOf(HANDLE file);

// GetFileAttributesW; INVALID_FILE_ATTRIBUTES with the last error set when it fails.
DWORD attributesOf(const std::string& path);

// Whether the attributes are those of a plain file: no directory, no reparse point, no device.
bool isPlainFile(DWORD attributes);

// Throws unless the information is of a plain file: a directory fails as opening one for data
// fails ("Access is denied"), anything else with the system's ERROR_CANT_ACCESS_FILE text.
void requirePlainFile(const BY_HANDLE_FILE_INFORMATION& information);

// Reads until count bytes are in or the file ends; returns how many came.
std::size_t readFully(HANDLE file, std::uint8_t* destination, std::size_t count);

// Writes all count bytes at the file's position.
void writeAll(HANDLE file, const void* data, std::size_t count);

// Writes all count bytes through a handle opened with FILE_FLAG_OVERLAPPED. A file (slowTarget
// empty) is written at its file pointer, which moves on, as a plain write writes. A device or a
// pipe (slowTarget names it) is given a few KiB at a time, and while it takes nothing the thread
// waits, looking for a stop request (Signals.h) ten times a second: one throws Interrupted, and a
// target that has taken nothing for stallLimit fails ("No progress writing for <n> seconds:
// <slowTarget>").
void writeOverlapped(HANDLE file, const void* data, std::size_t count,
                     const std::string& slowTarget, std::chrono::seconds stallLimit);

} // namespace platform::win32
