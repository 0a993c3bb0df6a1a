#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// The names by which the program, whose text is in the ANSI code page, reaches the files that a
// wide-character listing shows.
namespace platform::win32 {

// The entry's name where the code page spells it exactly and it does not end in a dot or a blank
// (which the system strips from a path); else its short (8.3) name; else, where it has none, its
// name as the code page spells it with "?" for what it cannot, which reaches no file
// (isUnreachableName).
std::string listedName(const WIN32_FIND_DATAW& entry);

// Whether a listed name reaches no file: it holds "?" or ends in a dot or a blank.
bool isUnreachableName(std::string_view name);

// Throws Failure, saying why, when the last name of the path is unreachable.
void requireReachable(const std::string& path);

} // namespace platform::win32
