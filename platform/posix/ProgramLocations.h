#pragma once

#include <functional>
#include <string>
#include <string_view>

// Where a copy of the program keeps its settings file and its log.
//
// A copy run from where it was built or unpacked keeps both beside its executable. An installed
// copy never writes into its installation: it keeps tarvo.ini in $XDG_CONFIG_HOME/tarvo (by
// default ~/.config/tarvo) and Tarvo.log in $XDG_STATE_HOME/tarvo (by default
// ~/.local/state/tarvo). A copy is installed when its executable lies in a directory named "bin"
// beside which share/tarvo/installed exists, as the package lays out /usr/bin/tarvo and
// /usr/share/tarvo/installed. The Windows installer installs no such marker: there tarvo.ini and
// Tarvo.log stay beside tarvo.exe, in a folder of the user's.
namespace platform {

inline constexpr const char* kSettingsFileName = "tarvo.ini";
inline constexpr const char* kLogFileName = "Tarvo.log";

// The marker's path below the executable's directory ("bin"): ../share/tarvo/installed.
inline constexpr const char* kInstalledMarker = "share/tarvo/installed";

struct ProgramLocations {
    bool installed = false;
    std::string settingsDirectory;
    std::string logDirectory;
    std::string settingsFile; // in settingsDirectory
    std::string logFile;      // in logDirectory
};

// What the environment says: the values of XDG_CONFIG_HOME and XDG_STATE_HOME ("" when unset),
// and the user's home directory.
struct Environment {
    std::string xdgConfigHome;
    std::string xdgStateHome;
    std::string home;
};

// Where the copy whose executable lies in executableDirectory keeps its files; fileExists tells
// whether a path names an existing file. A relative XDG value is ignored, as the XDG base
// directory rules ask. Throws std::runtime_error for an installed copy when neither the XDG value
// nor the home directory gives an absolute directory: its files would land in the current
// directory.
ProgramLocations programLocations(std::string_view executableDirectory,
                                  const std::function<bool(const std::string&)>& fileExists,
                                  const Environment& environment);

} // namespace platform
