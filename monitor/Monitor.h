#pragma once

#include "core/ActivityLog.h"
#include "core/Settings.h"
#include "monitor/PassedOver.h"
#include "platform/DirectoryChanges.h"
#include "platform/Platform.h"
#include "platform/WatchedDirectory.h"
#include "process/JobProcessor.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

// The monitor: each timer tick hands a job no other process has open to job processing.
namespace monitor {

// What the monitor asks of the window that owns its timer and the tray icon.
class MonitorHost {
public:
    virtual ~MonitorHost() = default;
    virtual void setTrayTooltip(const std::string& text) = 0;
    virtual void setTimerEnabled(bool enabled) = 0;
};

class Monitor {
public:
    // Watches watchedDirectory, fixed for the monitor's life; the tooltip names
    // settings.monitorDirectory, which may change meanwhile. The references must outlive it.
    Monitor(MonitorHost& host, const core::Settings& settings, std::string watchedDirectory,
            platform::Platform& platform, core::ActivityLog& log);

    // One timer tick: refreshes the tooltip and hands over ready jobs until one timer interval has
    // passed, so that the windows keep responding. Never throws; failures are logged. Re-enables
    // the timer unless a hand-off could do nothing: then the monitor stops, as log and tooltip say.
    void tick();

    // Ready when the directory has changed, for the event loop; -1 when none. Constant.
    std::intptr_t changesHandle() const { return changes_->readyHandle(); }

    // Reads the changes; true when a tick should run now (a job may be ready, or time ran out).
    bool changesReady();

    // The file to hand over: a left-behind work file first, then jobs in byte order, passing
    // over the program's own files, unchanged jobs a failed hand-off left in place and files that
    // cannot be examined. Nothing when the first is held open or the directory is unreadable or
    // read-only. Never throws; logs once each: an unexaminable file, one held open a minute, a
    // read-only directory.
    std::optional<std::string> findReadyJob();

    // Renames the job file to the work file "newjob" in one step and processes it (a left-behind
    // work file as it is); a job gone, or a work file come meanwhile, is no failure. A job is never
    // deleted: it moves into "failed", else stays, passed over until it changes (one log line says
    // which). False when nothing could be done: the monitor must stop.
    bool handOver(const std::string& path);

    const std::string& watchedDirectory() const { return watchedDirectory_; }

private:
    enum class Examination { Free, HeldOpen, PassedOver };

    // The held-open file the last look stopped at, since when, and whether the log named it.
    struct Waiting {
        std::string path;
        std::time_t since = 0;
        bool named = false;
    };

    std::string workFilePath() const;
    void waitFor(const std::string& path);
    bool isHeldOpen(platform::WatchedDirectory& directory, const std::string& name,
                    const std::string& path);
    Examination examine(platform::WatchedDirectory& directory, const std::string& name,
                        const std::string& path);
    bool isLeftUnchanged(platform::WatchedDirectory& directory, const std::string& path);
    std::optional<std::string> findFirstJob(platform::WatchedDirectory& directory, bool& free);
    bool acceptsHandOff(platform::WatchedDirectory& directory);
    bool writable(platform::WatchedDirectory& directory) const;
    bool keep(platform::WatchedDirectory& directory, const std::string& path,
              const std::string& why);

    MonitorHost& host_;
    const core::Settings& settings_;
    const std::string watchedDirectory_;
    platform::Platform& platform_;
    core::ActivityLog& log_;
    const std::unique_ptr<platform::DirectoryChanges> changes_;
    PassedOver passedOver_;
    Waiting waiting_;
    // Whether the log has said that the watched directory is read-only.
    bool refusalNamed_ = false;
    // Whether the last tick ran out of time, perhaps with jobs still ready.
    bool burstCut_ = false;
    routing::JobProcessor processor_;
};

} // namespace monitor
