#pragma once

#include <string>

namespace platform {

// Makes the directory, and every missing one above it, readable and writable by the user alone
// (0700), as the XDG base directory rules ask for the directories of a user's settings and
// state. Directories that exist already are left as they are. Throws Failure with the system's
// text when one cannot be made, or when a part of the path is not a directory.
void makePrivateDirectories(const std::string& path);

} // namespace platform
