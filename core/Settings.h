#pragma once

#include "core/ActivityLog.h"

#include <array>
#include <cstddef>
#include <string>

namespace core {

inline constexpr int kOutputs = 9;

// The longest value that a read of the settings file gives, in bytes of the locale's code set;
// a longer stored value is cut to this length.
inline constexpr std::size_t kMaxValueBytes = 254;

// One row of the output map.
struct Output {
    // A printer name, a file path or a directory.
    std::string target;
    // The output type's name, kept exactly as stored.
    std::string type;

    bool operator==(const Output&) const = default;
};

struct Settings {
    // Output 1 to 9 at index 0 to 8.
    std::array<Output, kOutputs> outputs;
    // The configured monitor directory.
    std::string monitorDirectory;

    bool operator==(const Settings&) const = default;
};

// The settings file "tarvo.ini": the keys [MAP] "@@n@" and "Typen" of output n, and [MONITOR]
// "PATH". Every failure is logged; none reaches the caller.
class SettingsFile {
public:
    SettingsFile(std::string path, ActivityLog& log);

    const std::string& path() const { return path_; }

    // Fills every field from the file. Missing keys give "", and a missing PATH the
    // defaultMonitorDirectory; a file that cannot be read gives the defaults, as a missing one
    // does, with one failure line.
    void load(Settings& settings, const std::string& defaultMonitorDirectory);

    // Writes every field to the file in one replacement, so that a process stopped at any moment
    // leaves either the old file or the new one; afterwards the fields hold what went to the
    // file. Returns false, with a failure line and the file unchanged, when it could not be
    // written.
    bool save(Settings& settings);

    // The value of one key, or the default when the file, section or key is missing. A stored
    // value longer than kMaxValueBytes is cut to that length, with a line naming the key. A
    // failure gives the default, with a failure line.
    std::string readValue(const std::string& section, const std::string& key,
                          const std::string& defaultValue);

private:
    std::string path_;
    ActivityLog& log_;
};

} // namespace core
