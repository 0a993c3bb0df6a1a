#pragma once

#include <array>
#include <string>

// The process-wide settings and their file.
namespace modConfig {

inline constexpr int kOutputs = 9;

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

extern Settings settings;

// Fills every field but strIniPath from the settings file. Never fails outward.
void getIni();

// Writes every field but strIniPath to the settings file. Never fails outward.
void saveIni();

// Reads one key into destination, or the default when the file, section or key is missing.
void readValue(const std::string& file, const std::string& section, const std::string& key,
               const std::string& defaultValue, std::string& destination);

} // namespace modConfig
