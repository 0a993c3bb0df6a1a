#pragma once

#include <string>
#include <string_view>

// What each platform answers behind Paths.h: the system's own answers, which the tests'
// overrides stand in front of, and how it compares names and directories.
namespace platform::system {

// The directory that holds the running executable, without a trailing separator except for
// the root.
std::string applicationDirectory();

// The user's home directory ("" when the system names none).
std::string homeDirectory();

// The running executable's file name, without its directory.
std::string executableName();

// Whether the two names name one file of a directory, as the file system compares names.
bool sameFileName(std::string_view a, std::string_view b);

// Whether the two paths name one existing directory, however each is written.
bool sameDirectory(const std::string& a, const std::string& b);

} // namespace platform::system
