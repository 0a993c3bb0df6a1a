#pragma once

#include "core/Application.h"
#include "core/Settings.h"
#include "ui/logic/ConfigView.h"
#include "ui/logic/TrayControl.h"

#include <array>
#include <string>

namespace ui::logic {

// The configuration window's behaviour: its controls are the edit buffer of the settings,
// filled by load() and copied back by update(). Every handler logs its own failures.
class ConfigController {
public:
    ConfigController(ConfigView& view, TrayControl& tray, core::Application& application);

    // Fills the controls from the settings.
    void load();
    // Copies the controls into the settings, saves them, enables the monitor and closes. When
    // the save is refused the window stays open, and the monitor as it was.
    void update();
    // Closes without storing anything.
    void cancel();
    // Stops the monitor, unloads the tray window and ends the program without storing.
    void terminate();
    // Fills the row's target through the chooser its selected type asks for; no choice, or one
    // too long to be stored, leaves the target as it was.
    void chooseTarget(int row);

private:
    ConfigView& view_;
    TrayControl& tray_;
    core::Settings& settings_;
    core::SettingsFile& settingsFile_;
    core::ActivityLog& log_;
    // Per row, a stored type that no list item shows, kept by update() while nothing is selected.
    std::array<std::string, core::kOutputs> unlistedTypes_;
};

} // namespace ui::logic
