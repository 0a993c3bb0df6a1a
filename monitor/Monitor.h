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

// The monitor: each tick of the tray window's timer looks through the watched directory and
// hands the first job file that no other process has open over to job processing. The
// directory's changes run a tick as soon as a job may have become ready, and tell which files
// other processes have open without asking the files themselves.
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
    // Watches watchedDirectory, fixed for the monitor's life, through platform; the tooltip
    // names the configured monitor directory of settings, which may change meanwhile.
    Monitor(MonitorHost& host, const core::Settings& settings, std::string watchedDirectory,
            platform::Platform& platform, core::ActivityLog& log);

    // One tick of the monitor timer: refreshes the tooltip and hands over the job files that
    // are ready, one after the other in the order of the examination, for as long as the tick
    // has taken less than one interval of the timer; the rest wait for the next tick, so that the
    // windows keep responding. Never fails outward; a failure is logged with the tick's prefix.
    // The timer runs again after every tick, unless the hand-off found nothing at all that it
    // could do: then the monitor stops, and the log and the tooltip say so.
    void tick();

    // The handle that becomes ready when the watched directory has changed, for the event loop
    // to watch; -1 when there is none. The same for the monitor's life.
    std::intptr_t changesHandle() const { return changes_->readyHandle(); }

    // Reads the changes that wait: true when a tick should run at once, since they may have
    // made a job ready, or the last tick left jobs behind when its time was up.
    bool changesReady();

    // Looks through the directory for the file to hand over: a work file left behind comes
    // before all others, then the jobs in byte order of their names. Passes over the program's
    // own files, the jobs that a failed hand-off left in place while they are unchanged, and
    // files that cannot be examined (logged once each). Gives the path of a file that no other
    // process has open; nothing when there is nothing to hand over (no file, the first one that
    // can be examined is held open, the directory cannot be read, or it refuses the changes of
    // a hand-off). Never fails. A file held open for a minute, and a directory that refuses
    // changes while a job waits, are logged once.
    std::optional<std::string> findReadyJob();

    // Gives the job file the name of the work file "newjob" of the watched directory, in one
    // step, and processes the work file. A work file left behind (the program stopped while it
    // processed it) is processed as it is. A job file that has gone is no failure, nor a work
    // file that has come meanwhile: it goes first on the next look. A job that cannot be handed
    // over (nor a work file that cannot be processed) is never deleted: it is moved into the
    // subdirectory "failed" of the watched directory, and where even that fails, left in place and
    // passed over until it changes. The one line logged says which. Returns false when nothing at
    // all could be done, and the monitor must stop.
    bool handOver(const std::string& path);

    const std::string& watchedDirectory() const { return watchedDirectory_; }

private:
    enum class Examination { Free, HeldOpen, PassedOver };

    // The file held open that the last examination stopped at, since when, and whether the log
    // has named it.
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
    // Whether the log has said that the watched directory refuses the changes of a hand-off.
    bool refusalNamed_ = false;
    // Whether the last tick ended because its time was up, with jobs perhaps still ready.
    bool burstCut_ = false;
    routing::JobProcessor processor_;
};

} // namespace monitor
