// Saves the settings again and again, alternating between two complete sets, until killed.
// Usage: save_settings_loop DIRECTORY. The settings file and the log are DIRECTORY's.
#include "core/modConfig.h"
#include "platform/Paths.h"
#include "tests/load/SettingsSets.h"

#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    const std::string directory = argv[1];
    platform::overrideApplicationDirectory(directory);
    const std::string path = platform::joinPath(directory, "tarvo.ini");
    for (unsigned round = 0;; ++round) {
        modConfig::Settings settings = settingsSet(round % 2 == 0 ? "new" : "old");
        settings.strIniPath = path;
        modConfig::saveIni(settings);
    }
}
