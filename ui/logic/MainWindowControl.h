#pragma once

namespace ui {

// What the configuration window asks of the main window.
class MainWindowControl {
public:
    virtual ~MainWindowControl() = default;

    // Enables or disables the monitor timer.
    virtual void setMonitorTimerEnabled(bool enabled) = 0;
    // Unloads the main window: stops the monitor; the tray icon stays until the program ends.
    virtual void unloadMainWindow() = 0;
    // Ends the program at once; nothing is stored.
    virtual void endProgram() = 0;
};

} // namespace ui
