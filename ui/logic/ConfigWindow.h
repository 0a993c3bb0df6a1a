#pragma once

#include "core/modConfig.h"
#include "ui/logic/ConfigView.h"
#include "ui/logic/MainWindowControl.h"

#include <array>
#include <string>

namespace ui::logic {

// The behaviour of the configuration window: its controls are the edit buffer of the
// settings, filled by load() and copied back by update(). Every handler logs its own failures
// and returns normally.
class ConfigWindow {
public:
    // The window edits settings.
    ConfigWindow(ConfigView& view, MainWindowControl& mainWindow, modConfig::Settings& settings);

    // Fills the controls from the settings.
    void load();
    // Copies the controls into the settings, saves them, enables the monitor and closes. When
    // the save is refused the window stays open, and the monitor as it was.
    void update();
    // Closes without storing anything.
    void cancel();
    // Stops the monitor, unloads the main window and ends the program without storing.
    void terminate();
    // Fills the row's target through the chooser that the row's selected type asks for; a
    // chooser left without a choice, or a choice too long to be stored, leaves the target as it
    // was.
    void chooseTarget(int row);

private:
    ConfigView& view_;
    MainWindowControl& mainWindow_;
    modConfig::Settings& settings_;
    // A stored type that no list item shows, per row; update() keeps it while the row's list
    // has no selection.
    std::array<std::string, modConfig::kOutputs> unlistedTypes_;
};

} // namespace ui::logic
