#pragma once

#include "core/modConfig.h"
#include "monitor/Monitor.h"
#include "ui/logic/MainWindowControl.h"

#include <string>

namespace ui::logic {

// What the main window's behaviour needs of its toolkit: the tray icon, the monitor timer, the
// configuration window and the end of the program.
class MainWindowView : public monitor::TimerAndTray {
public:
    // Puts the program's icon into the tray with that tooltip. Throws Failure when the icon
    // cannot be had.
    virtual void showTrayIcon(const std::string& tooltip) = 0;
    // Shows the single configuration window, loading it first when it is not loaded; one that
    // is open is shown again as it stands.
    virtual void showConfigWindow() = 0;
    // Ends the program at once; nothing is stored.
    virtual void endProgram() = 0;
};

// The behaviour of the main window. It is never shown: it owns the tray icon, the only visible
// sign of the running program, and the monitor whose ticks its 100-millisecond timer drives.
class MainWindow final : public MainWindowControl {
public:
    MainWindow(MainWindowView& view, const modConfig::Settings& settings,
               const std::string& strWatchDir);

    // Puts the tray icon in place with the tooltip "Tarvo - Ready".
    void Initialize();
    // Stops the monitor timer; the window stays unloaded from then on.
    void Unload();
    // One tick of the monitor timer; none once a stop has been requested from outside.
    void Timer_Timer();
    // Shows the configuration window.
    void ctTray_IconClick();
    // A request from outside to stop: ends the program as "Terminate" does.
    void stop();

    // What the configuration window asks of the main window.
    void setMonitorTimerEnabled(bool enabled) override;
    void unloadMainWindow() override;
    void endProgram() override;

    const monitor::Monitor& monitor() const { return monitor_; }

private:
    MainWindowView& view_;
    monitor::Monitor monitor_;
    bool unloaded_ = false;
};

} // namespace ui::logic
