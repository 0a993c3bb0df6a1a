#pragma once

#include "core/ActivityLog.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace core {

inline constexpr int kOutputs = 9;

// The longest value a read gives, in bytes of the locale's code set; longer ones are cut.
inline constexpr std::size_t kMaxValueBytes = 254;

// How many MiB the kept sections in "failed" may take when the settings file does not say.
inline constexpr std::uint64_t kDefaultFailedMaxMiB = 1024;

// How long a spool job may wait in a printer that holds its jobs back before the user is told,
// when the settings file does not say.
inline constexpr std::uint64_t kDefaultPrintWaitSeconds = 60;

// One row of the output map.
struct Output {
    // A printer name, a file path or a directory.
    std::string target;
    // The output type's name, kept exactly as stored.
    std::string type;
    // The stored target was longer than a value may be, and was cut: the row is not used, since
    // a path or name cut short would send its sections somewhere else.
    bool targetCut = false;

    bool operator==(const Output&) const = default;
};

struct Settings {
    // Output 1 to 9 at index 0 to 8.
    std::array<Output, kOutputs> outputs;
    std::string monitorDirectory;
    // No section is kept in "failed" where it would hold more than this many MiB.
    std::uint64_t failedMaxMiB = kDefaultFailedMaxMiB;
    // A spool job that waits longer than this many seconds in a printer that holds its jobs back
    // is named to the user.
    std::uint64_t printWaitSeconds = kDefaultPrintWaitSeconds;

    bool operator==(const Settings&) const = default;
};

// The settings file "tarvo.ini": the keys [MAP] "@@n@" and "Typen" of output n, and [MONITOR]
// "PATH", "FAILEDMAX" and "PRINTWAIT". Every failure is logged; none reaches the caller.
class SettingsFile {
public:
    SettingsFile(std::string path, ActivityLog& log);

    const std::string& path() const { return path_; }

    // Missing keys give "", a missing PATH defaultMonitorDirectory, a missing FAILEDMAX or
    // PRINTWAIT or one that is no whole number its default (the latter with a line); an unreadable
    // file
    // gives the defaults, as a missing one does, with one failure line.
    void load(Settings& settings, const std::string& defaultMonitorDirectory);

    // Writes every field in one replacement of the file; afterwards the fields hold what went to
    // it. False, with a failure line and the file unchanged, when it could not be written.
    bool save(Settings& settings);

    // The default when the file, section or key is missing, or on a failure (logged). A value
    // longer than kMaxValueBytes is cut to it, with a line naming the key.
    std::string readValue(const std::string& section, const std::string& key,
                          const std::string& defaultValue);

private:
    std::string readValue(const std::string& section, const std::string& key,
                          const std::string& defaultValue, bool& cut);

    std::string path_;
    ActivityLog& log_;
};

} // namespace core
