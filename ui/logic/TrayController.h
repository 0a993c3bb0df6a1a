#pragma once

#include "core/Application.h"
#include "monitor/Monitor.h"
#include "process/DeliveryObserver.h"
#include "process/SpoolFollower.h"
#include "ui/logic/TrayControl.h"
#include "ui/logic/TrayMenu.h"
#include "ui/logic/TrayStatus.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ui::logic {

// What the tray window's behaviour needs of its toolkit.
class TrayView : public monitor::MonitorHost {
public:
    // Throws Failure when the tray icon cannot be had.
    virtual void showTrayIcon(const std::string& tooltip) = 0;
    virtual void setTrayIcon(TrayIcon icon) = 0;
    // Whether there is a tray to show the icon and notifications: false headless.
    virtual bool hasTray() const = 0;
    virtual void notify(const Notification& notification) = 0;
    // Opens the file or folder as the desktop opens it; throws Failure when it cannot.
    virtual void openOnDesktop(const std::string& path) = 0;
    // Whether the system has a window of a printer's queue, and opens that of the printer;
    // openPrinterQueue throws Failure when it cannot.
    virtual bool opensPrinterQueues() const = 0;
    virtual void openPrinterQueue(const std::string& printer) = 0;
    // Runs the controller's tick() once after the delay (zero: as soon as the event loop is
    // free), replacing the tick asked for before; nothing: no tick until asked again.
    virtual void scheduleTick(monitor::NextTick delay) = 0;
    // Loads the single configuration window when needed; an open one is shown as it stands.
    virtual void showConfigWindow() = 0;
    virtual bool configWindowOpen() const = 0;
    // Ends the program at once; nothing is stored.
    virtual void endProgram() = 0;
};

// The behaviour of the never-shown tray window: it owns the tray icon, the program's only
// visible sign, the monitor, whose ticks the directory's changes drive, and the follower of the
// printers' spool jobs; a timer runs only when the monitor asks for one or spool jobs are
// followed (then also while paused). An idle program sleeps. The icon, its tooltip and
// notifications show what became of the jobs (TrayStatus); headless, standard error tells it.
class TrayController final : public TrayControl,
                             private monitor::MonitorHost,
                             private routing::DeliveryObserver {
public:
    TrayController(TrayView& view, core::Application& application,
                   const std::string& watchedDirectory);

    // Shows the tray icon with the tooltip "Tarvo - Ready"; a failure is logged. The first tick
    // follows one poll interval later.
    void initialize();
    // Stops the monitor; the window stays unloaded from then on.
    void unload();
    // One tick of the monitor unless paused, and a round of the follower when due, then the next
    // one scheduled as they ask. None while a tick runs (a modal window's event loop may call
    // it), nor once unloaded or a stop has been requested.
    void tick();
    // As Monitor::changesHandle; watched while the window is loaded.
    std::intptr_t changesHandle() const { return monitor_.changesHandle(); }
    // Reads the changes; runs a tick at once when a job may be ready and the monitor runs.
    void changesReady();
    // Shows the configuration window; the warning ends.
    void onTrayClicked();
    // Whether the menu's command can be chosen now: an "Open" item only while what it opens
    // exists.
    bool isAvailable(TrayCommand command) const;
    bool paused() const { return status_.paused(); }
    // Runs the menu's command; a failure is logged.
    void run(TrayCommand command);
    // The spool jobs held back that the menu lists, and whether choosing one opens its printer's
    // queue (a failure is logged).
    std::vector<routing::HeldBackJob> heldBackJobs() const;
    bool opensPrinterQueues() const { return view_.opensPrinterQueues(); }
    void openPrinterQueue(const std::string& printer);
    // A request from outside to stop: ends the program as "Terminate" does.
    void stop();

    // Runs or pauses the monitor; one that runs again ticks at once, a paused one only for the
    // follower while spool jobs are outstanding.
    void setMonitorTimerEnabled(bool enabled) override;
    void unloadTrayWindow() override;
    void endProgram() override;

    const monitor::Monitor& monitor() const { return monitor_; }

private:
    void setTrayTooltip(const std::string& text) override;
    void sectionNotDelivered(const routing::UndeliveredSection& section) override;
    bool followsSpoolJobs() const override { return true; }
    void sectionSpooled(const routing::SpooledSection& section) override;
    void spoolJobHeldBack(const routing::HeldBackJob& job) override;
    void jobEnded(bool allDelivered) override;
    void followSpoolJobs();
    // Shows the status where it changed: the icon, the tooltip; headless, a stop or a restart of
    // the monitor goes to standard error.
    void showStatus();
    std::string now() const;

    TrayView& view_;
    core::Application& application_;
    core::ActivityLog& log_;
    const std::string watchedDirectory_;
    bool enabled_ = true;
    bool ticking_ = false;
    TrayStatus status_;
    // The tooltip's first line, as the monitor gave it last, and the whole tooltip as last given
    // to the view.
    std::string firstLine_;
    std::string shownTooltip_;
    TrayIcon shownIcon_ = TrayIcon::Normal;
    bool monitorStopped_ = false;
    routing::SpoolFollower follower_;
    monitor::Monitor monitor_;
    bool unloaded_ = false;
};

} // namespace ui::logic
