#pragma once

namespace ui {

// What the configuration window asks of the tray window.
class TrayControl {
public:
    virtual ~TrayControl() = default;

    virtual void setMonitorTimerEnabled(bool enabled) = 0;
    // Unloads the tray window: stops the monitor; the tray icon stays until the program ends.
    virtual void unloadTrayWindow() = 0;
    // Ends the program at once; nothing is stored.
    virtual void endProgram() = 0;
};

} // namespace ui
