#pragma once

#include "core/Application.h"
#include "monitor/Monitor.h"
#include "ui/logic/TrayControl.h"

#include <cstdint>
#include <string>

namespace ui::logic {

// What the tray window's behaviour needs of its toolkit.
class TrayView : public monitor::MonitorHost {
public:
    // Throws Failure when the tray icon cannot be had.
    virtual void showTrayIcon(const std::string& tooltip) = 0;
    // Loads the single configuration window when needed; an open one is shown as it stands.
    virtual void showConfigWindow() = 0;
    // Ends the program at once; nothing is stored.
    virtual void endProgram() = 0;
};

// The behaviour of the never-shown tray window: it owns the tray icon, the program's only
// visible sign, and the monitor, whose ticks its 100 ms timer and the directory's changes drive.
class TrayController final : public TrayControl, private monitor::MonitorHost {
public:
    TrayController(TrayView& view, core::Application& application,
                   const std::string& watchedDirectory);

    // Shows the tray icon with the tooltip "Tarvo - Ready"; a failure is logged.
    void initialize();
    // Stops the monitor timer; the window stays unloaded from then on.
    void unload();
    // One tick of the monitor timer; none once a stop has been requested from outside.
    void tick();
    // As Monitor::changesHandle; watched while the window is loaded.
    std::intptr_t changesHandle() const { return monitor_.changesHandle(); }
    // Reads the changes; runs a tick at once when a job may be ready and the timer runs.
    void changesReady();
    // Shows the configuration window.
    void onTrayClicked();
    // A request from outside to stop: ends the program as "Terminate" does.
    void stop();

    void setMonitorTimerEnabled(bool enabled) override;
    void unloadTrayWindow() override;
    void endProgram() override;

    const monitor::Monitor& monitor() const { return monitor_; }

private:
    // Noted, so that a tick the changes run never starts a stopped monitor.
    void setTrayTooltip(const std::string& text) override;
    void setTimerEnabled(bool enabled) override;

    TrayView& view_;
    core::ActivityLog& log_;
    // The view starts the timer when it has loaded the window.
    bool timerEnabled_ = true;
    monitor::Monitor monitor_;
    bool unloaded_ = false;
};

} // namespace ui::logic
