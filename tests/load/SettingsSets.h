#pragma once

#include "core/Settings.h"

#include <string>

// A complete set of settings in which every value names the set and its own key, so that a
// file read back tells for each key which set it came from.
inline core::Settings settingsSet(const std::string& set) {
    core::Settings settings;
    for (int i = 0; i < core::kOutputs; ++i) {
        settings.outputs[i].target = set + " target " + std::to_string(i + 1);
        settings.outputs[i].type = set + " type " + std::to_string(i + 1);
    }
    settings.monitorDirectory = set + " monitor";
    return settings;
}
