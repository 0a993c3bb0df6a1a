#pragma once

#include "core/modConfig.h"

#include <string>

// A complete set of settings in which every value names the set and its own key, so that a
// file read back tells for each key which set it came from.
inline modConfig::Settings settingsSet(const std::string& set) {
    modConfig::Settings settings;
    for (int i = 0; i < modConfig::kOutputs; ++i) {
        settings.strMapTarget[i] = set + " target " + std::to_string(i + 1);
        settings.strMapType[i] = set + " type " + std::to_string(i + 1);
    }
    settings.strMonitorPath = set + " monitor";
    return settings;
}
