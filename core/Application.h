#pragma once

#include "core/ActivityLog.h"
#include "core/Settings.h"
#include "platform/AlertBox.h"
#include "platform/Platform.h"
#include "platform/SingleInstance.h"

#include <functional>
#include <optional>
#include <string>

namespace core {

// The running program as its parts see it: the platform, the activity log and the settings,
// with their files in the application directory, and start-up.
class Application {
public:
    // box shows what the log cannot take.
    Application(platform::Platform& platform, platform::AlertBox& box);

    // Start-up: ends at once when another Tarvo of this user runs, loads the settings, fixes and
    // probes the watched directory (a copy of the configured monitor directory, taken once),
    // then loads the tray window through loadTrayWindow, which is given the watched directory.
    // Returns true when the tray window was loaded and the program should live on in its event
    // loop; false when start-up ended (another instance, or a failure that was logged). Says
    // on standard error what it did.
    bool start(const std::function<void(const std::string& watchedDirectory)>& loadTrayWindow);

    platform::Platform& platform() { return platform_; }
    ActivityLog& log() { return log_; }
    SettingsFile& settingsFile() { return settingsFile_; }
    Settings& settings() { return settings_; }

private:
    platform::Platform& platform_;
    ActivityLog log_;
    SettingsFile settingsFile_;
    Settings settings_;
    std::optional<platform::InstanceLock> instance_;
};

} // namespace core
