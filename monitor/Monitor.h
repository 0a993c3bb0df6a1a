#pragma once

#include "core/ActivityLog.h"
#include "core/Settings.h"
#include "monitor/FileNotes.h"
#include "platform/DirectoryChanges.h"
#include "platform/Platform.h"
#include "platform/WatchedDirectory.h"
#include "process/JobProcessor.h"
#include "process/JobProgress.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The monitor: hands the jobs of the watched directory that no other process has open, one
// after the other in name order, to job processing.
namespace monitor {

// What the monitor asks of the window that shows the tray icon.
class MonitorHost {
public:
    virtual ~MonitorHost() = default;
    virtual void setTrayTooltip(const std::string& text) = 0;
};

// When the next tick is due if nothing changes in the directory: after the delay (zero: as soon
// as the event loop is free), or never, when only a change can make a job ready.
using NextTick = std::optional<std::chrono::milliseconds>;

class Monitor {
public:
    // How often a directory whose changes are not reported is looked at.
    static constexpr std::chrono::milliseconds kPollInterval{100};

    // Watches watchedDirectory, fixed for the monitor's life; the tooltip names
    // settings.monitorDirectory, which may change meanwhile. The references must outlive it.
    Monitor(MonitorHost& host, const core::Settings& settings, std::string watchedDirectory,
            platform::Platform& platform, core::ActivityLog& log);

    // One tick: refreshes the tooltip, then hands over the ready jobs of one listing in name order
    // for up to one poll interval, so that the windows keep answering; the next tick goes on with
    // the listing. Never throws; failures are logged.
    NextTick tick();

    // Ready when the directory has changed, for the event loop; -1 when none. Constant.
    std::intptr_t changesHandle() const { return changes_->readyHandle(); }

    // Reads the changes; true when a tick should run now (a job may be ready, or a tick's time
    // ran out with jobs left).
    bool changesReady();

    // Whether a work file that can be neither routed nor kept stopped the monitor; it tries again
    // every ten seconds and goes on once the cause is gone.
    bool stopped() const { return stopped_; }

    // Whether a request to stop cut a job short: no job is taken any more.
    bool interrupted() const { return interrupted_; }

    const std::string& watchedDirectory() const { return watchedDirectory_; }

private:
    // What a file of the listing is for the hand-off now.
    enum class Readiness {
        // No other process has it open: it can be handed over.
        Ready,
        // Held open: it and the files after it wait.
        HeldOpen,
        // Its use cannot be told and it has changed lately: it waits, the files after it do not.
        Settling,
        // Not a job to take now: the program's own, left in place, unexaminable, or gone.
        PassedOver,
    };

    // The held-open file that the last look stopped at, since when, and whether the log named it.
    struct Waiting {
        std::string name;
        FileNotes::Time since{};
        bool named = false;
        // Whether only asking the file tells when it is free: no change will be reported.
        bool polled = false;
    };

    std::string pathOf(const std::string& name) const;
    void wakeIn(std::chrono::milliseconds delay);
    bool handleWorkFile();
    void tryAgainWhileStopped();
    void walkListing(FileNotes::Time deadline);
    Readiness readiness(const std::string& name);
    Readiness settled(const std::string& name, const std::string& path);
    void waitFor(const std::string& name, bool polled);
    bool acceptsHandOff();
    bool handOver(const std::string& name);
    bool route(const routing::WorkFile& work);
    bool keep(const std::string& path, const std::string& why, const std::string& jobName);

    MonitorHost& host_;
    const core::Settings& settings_;
    const std::string watchedDirectory_;
    platform::Platform& platform_;
    core::ActivityLog& log_;
    const std::unique_ptr<platform::DirectoryChanges> changes_;
    routing::JobProcessor processor_;
    routing::JobProgress progress_;
    FileNotes notes_;
    // The names of the listing that the tick's burst goes through, and the next one to look at.
    std::vector<std::string> listing_;
    std::size_t next_ = 0;
    std::optional<Waiting> waiting_;
    // The tick's next wake-up, as the walk finds what it waits for.
    NextTick nextTick_;
    // Whether the log has said that the watched directory is read-only.
    bool refusalNamed_ = false;
    bool stopped_ = false;
    bool interrupted_ = false;
    // Whether the last tick's time ran out with jobs perhaps left in its listing.
    bool burstCut_ = false;
    // Whether changes read outside a tick (changesReady) since the listing in hand was made may
    // have brought jobs: that listing is gone through, then the directory listed anew.
    bool changesOwed_ = false;
};

} // namespace monitor
