#pragma once

#include "core/Application.h"
#include "monitor/Monitor.h"
#include "process/DeliveryObserver.h"
#include "ui/logic/TrayControl.h"

#include <cstdint>
#include <string>

namespace ui::logic {

// What the tray window's behaviour needs of its toolkit.
class TrayView : public monitor::MonitorHost {
public:
    // Throws Failure when the tray icon cannot be had.
    virtual void showTrayIcon(const std::string& tooltip) = 0;
    // Runs the controller's tick() once after the delay (zero: as soon as the event loop is
    // free), replacing the tick asked for before; nothing: no tick until asked again.
    virtual void scheduleTick(monitor::NextTick delay) = 0;
    // Loads the single configuration window when needed; an open one is shown as it stands.
    virtual void showConfigWindow() = 0;
    // Ends the program at once; nothing is stored.
    virtual void endProgram() = 0;
};

// The behaviour of the never-shown tray window: it owns the tray icon, the program's only
// visible sign, and the monitor, whose ticks the directory's changes drive, and a timer only
// when the monitor asks for one. An idle program sleeps.
class TrayController final : public TrayControl, private monitor::MonitorHost {
public:
    TrayController(TrayView& view, core::Application& application,
                   const std::string& watchedDirectory);

    // Shows the tray icon with the tooltip "Tarvo - Ready"; a failure is logged. The first tick
    // follows one poll interval later.
    void initialize();
    // Stops the monitor; the window stays unloaded from then on.
    void unload();
    // One tick of the monitor, then the next one scheduled as the monitor asks. None while a tick
    // runs (a modal window's event loop may call it), nor once a stop has been requested.
    void tick();
    // As Monitor::changesHandle; watched while the window is loaded.
    std::intptr_t changesHandle() const { return monitor_.changesHandle(); }
    // Reads the changes; runs a tick at once when a job may be ready and the monitor runs.
    void changesReady();
    // Shows the configuration window.
    void onTrayClicked();
    // A request from outside to stop: ends the program as "Terminate" does.
    void stop();

    // Runs or stops the monitor; one that runs again ticks at once.
    void setMonitorTimerEnabled(bool enabled) override;
    void unloadTrayWindow() override;
    void endProgram() override;

    const monitor::Monitor& monitor() const { return monitor_; }

private:
    void setTrayTooltip(const std::string& text) override;

    TrayView& view_;
    core::ActivityLog& log_;
    bool enabled_ = true;
    bool ticking_ = false;
    // What became of each job's sections: nobody shows it yet.
    routing::UnobservedDeliveries deliveries_;
    monitor::Monitor monitor_;
    bool unloaded_ = false;
};

} // namespace ui::logic
