#pragma once

#include "core/ActivityLog.h"
#include "core/Settings.h"
#include "platform/AlertBox.h"
#include "platform/Platform.h"
#include "platform/SingleInstance.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// The running program as its parts see it: the platform, the activity log and the settings,
// with their files in the application directory, and start-up.
class Application {
public:
    // box shows what the log cannot take.
    Application(platform::Platform& platform, platform::AlertBox& box);

    // Ends at once when another Tarvo of this user runs; else loads the settings, probes the
    // watched directory (fixed from now on) and hands it to loadTrayWindow. True when the program
    // lives on in its event loop; false when start-up ended (logged). Tells stderr what it did.
    bool start(const std::function<void(const std::string& watchedDirectory)>& loadTrayWindow);

    // Answers the command line before start-up: prints the text of --version (the program's
    // version) or --help on standard output, or the complaint about an argument it does not take
    // on standard error. Gives the exit status when the program ends here, nothing when it is to
    // start.
    std::optional<int> answer(const std::vector<std::string>& arguments, std::string_view version);

    // After a start-up that ended: whether it ended because another Tarvo of the user runs.
    bool anotherRuns() const { return instance_ && !instance_->held(); }

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
