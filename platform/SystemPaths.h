#pragma once

#include <string>
#include <string_view>

// How each platform compares names and directories, behind Paths.h.
namespace platform::system {

// Whether the two names name one file of a directory, as the file system compares names.
bool sameFileName(std::string_view a, std::string_view b);

// Whether the two paths name one existing directory, however each is written.
bool sameDirectory(const std::string& a, const std::string& b);

} // namespace platform::system
