// Saves the settings again and again, alternating between two complete sets, until killed.
// Usage: save_settings_loop DIRECTORY. The settings file and the log are DIRECTORY's.
#include "core/Settings.h"
#include "platform/AlertBox.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "tests/load/SettingsSets.h"

#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    const std::string directory = argv[1];
    const platform::SystemClock clock{};
    platform::StandardErrorAlertBox alerts;
    core::ActivityLog log(platform::joinPath(directory, "Tarvo.log"), clock, alerts);
    core::SettingsFile file(platform::joinPath(directory, "tarvo.ini"), log);
    for (unsigned round = 0;; ++round) {
        core::Settings settings = settingsSet(round % 2 == 0 ? "new" : "old");
        file.save(settings);
    }
}
