#pragma once

#include <array>
#include <cstddef>
#include <string>

// The settings and their file.
namespace modConfig {

inline constexpr int kOutputs = 9;

// The longest value that a read of the settings file gives, in bytes of the locale's code set;
// a longer stored value is cut to this length.
inline constexpr std::size_t kMaxValueBytes = 254;

struct Settings {
    // Target of output 1 to 9 at index 0 to 8: a printer name, a file path or a directory.
    std::array<std::string, kOutputs> strMapTarget;
    // Output type name of output 1 to 9 at index 0 to 8, kept exactly as stored.
    std::array<std::string, kOutputs> strMapType;
    // The configured monitor directory.
    std::string strMonitorPath;
    // Full path of the settings file; set at start-up before anything is loaded.
    std::string strIniPath;
};

// Fills every field but strIniPath from the settings file at strIniPath. A file that cannot be
// read gives the defaults, as a missing one does, with one failure line. Never fails outward.
void getIni(Settings& settings);

// Writes every field but strIniPath to the settings file at strIniPath. Returns false, with a
// failure line and the file unchanged, when the file could not be written. Never fails outward.
bool saveIni(Settings& settings);

// Reads one key into destination, or the default when the file, section or key is missing. A
// stored value longer than kMaxValueBytes is cut to that length, with a line naming the key. A
// failure gives the default, with a failure line.
void readValue(const std::string& file, const std::string& section, const std::string& key,
               const std::string& defaultValue, std::string& destination);

} // namespace modConfig
