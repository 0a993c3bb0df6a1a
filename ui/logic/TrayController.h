#pragma once

#include "core/Application.h"
#include "monitor/Monitor.h"
#include "ui/logic/TrayControl.h"

#include <cstdint>
#include <string>

namespace ui::logic {

// What the tray window's behaviour needs of its toolkit: the tray icon, the monitor timer, the
// configuration window and the end of the program.
class TrayView : public monitor::MonitorHost {
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

// The behaviour of the tray window. It is never shown: it owns the tray icon, the only visible
// sign of the running program, and the monitor, whose ticks its 100-millisecond timer drives and
// the changes of the watched directory too, as soon as they may have made a job ready.
class TrayController final : public TrayControl, private monitor::MonitorHost {
public:
    TrayController(TrayView& view, core::Application& application,
                   const std::string& watchedDirectory);

    // Puts the tray icon in place with the tooltip "Tarvo - Ready".
    void initialize();
    // Stops the monitor timer; the window stays unloaded from then on.
    void unload();
    // One tick of the monitor timer; none once a stop has been requested from outside.
    void tick();
    // The handle that becomes ready when the watched directory has changed, for the event loop
    // to watch for as long as the window is loaded; -1 when there is none.
    std::intptr_t changesHandle() const { return monitor_.changesHandle(); }
    // The changes handle is ready: reads the changes, and runs a tick at once when they may have
    // made a job ready while the monitor timer runs.
    void changesReady();
    // Shows the configuration window.
    void onTrayClicked();
    // A request from outside to stop: ends the program as "Terminate" does.
    void stop();

    // What the configuration window asks of the tray window.
    void setMonitorTimerEnabled(bool enabled) override;
    void unloadTrayWindow() override;
    void endProgram() override;

    const monitor::Monitor& monitor() const { return monitor_; }

private:
    // The monitor's tray tooltip and timer, passed on to the view. Whether the timer runs is
    // noted, since a tick that the changes run must not start a stopped monitor.
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
