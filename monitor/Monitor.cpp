#include "monitor/Monitor.h"

#include "core/LogTexts.h"
#include "platform/Failure.h"
#include "platform/Paths.h"

#include <algorithm>
#include <exception>
#include <string_view>
#include <utility>

namespace monitor {
namespace {

using platform::EntryKind;
using platform::FileUse;
using platform::OpenState;
using std::chrono::milliseconds;

constexpr std::string_view kActiveTooltip = "Tarvo - Monitor active on ";
constexpr std::string_view kStoppedTooltip = "Tarvo - Monitor stopped, see Tarvo.log";
constexpr const char* kWorkFileName = "newjob";
constexpr const char* kProgressName = ".newjob.progress";
// How often a hand-off renames a job while another Tarvo's work file comes and goes.
constexpr int kHandOverAttempts = 3;
// How long a held-open file blocks the ones after it before the log names it.
constexpr milliseconds kHeldOpenNotice = std::chrono::seconds(60);
// How often a file that the changes report held open is asked itself.
constexpr milliseconds kAskHeldFileAgain = std::chrono::seconds(1);
// How long a file whose use cannot be told must stand unchanged before it is taken.
constexpr milliseconds kSettleTime = std::chrono::seconds(5);
// How often a stopped monitor looks whether its cause is gone.
constexpr milliseconds kRetryWhileStopped = std::chrono::seconds(10);

std::string line(std::string_view prefix, std::string_view description, std::string_view rest) {
    std::string text(prefix);
    text += description;
    text += rest;
    return text;
}

milliseconds until(FileNotes::Time then, FileNotes::Time now) {
    return std::chrono::duration_cast<milliseconds>(then - now);
}

} // namespace

Monitor::Monitor(MonitorHost& host, const core::Settings& settings, std::string watchedDirectory,
                 platform::Platform& platform, core::ActivityLog& log,
                 routing::DeliveryObserver& deliveries)
    : host_(host), settings_(settings), watchedDirectory_(std::move(watchedDirectory)),
      platform_(platform), log_(log), changes_(platform.followChanges(watchedDirectory_)),
      processor_(platform.spooler(), platform.directory(), platform.locations(), log, deliveries),
      progress_(platform::joinPath(watchedDirectory_, kProgressName)) {}

std::string Monitor::pathOf(const std::string& name) const {
    return platform::joinPath(watchedDirectory_, name);
}

void Monitor::wakeIn(milliseconds delay) {
    delay = std::max(delay, milliseconds(0));
    if (!nextTick_ || delay < *nextTick_) {
        nextTick_ = delay;
    }
}

NextTick Monitor::tick() {
    nextTick_.reset();
    try {
        host_.setTrayTooltip(stopped_ ? std::string(kStoppedTooltip)
                                      : std::string(kActiveTooltip) + settings_.monitorDirectory);
        if (interrupted_) {
            return nextTick_;
        }
        if (stopped_) {
            tryAgainWhileStopped();
            if (stopped_) {
                wakeIn(kRetryWhileStopped);
                return nextTick_;
            }
            host_.setTrayTooltip(std::string(kActiveTooltip) + settings_.monitorDirectory);
        }
        walkListing(platform_.clock().steadyNow() + kPollInterval);
        if (stopped_) {
            host_.setTrayTooltip(std::string(kStoppedTooltip));
            wakeIn(kRetryWhileStopped);
        } else if (!changes_->watching()) {
            // Asked after the walk, which may have found the directory gone: then no change will
            // wake the monitor, and only a look every poll interval finds the directory again.
            wakeIn(kPollInterval);
        }
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kTimerTimer, failure);
        wakeIn(kPollInterval);
    }
    return nextTick_;
}

bool Monitor::changesReady() {
    const bool changed = changes_->readChanges();
    changedMeanwhile_ = changedMeanwhile_ || changed;
    return changed;
}

// Goes through the listing, the one a cut tick left or a new one, handing over the jobs that
// are ready until the deadline. A listing gone through is followed by another while changes came
// meanwhile that may have brought jobs: they are read here, not in the event loop.
void Monitor::walkListing(FileNotes::Time deadline) {
    for (;;) {
        if (!handleWorkFile()) {
            return;
        }
        if (next_ >= listing_.size()) {
            try {
                platform_.directory().listJobNames(watchedDirectory_, listing_);
            } catch (const std::exception&) {
                listing_.clear(); // a directory that is missing or unreadable has no jobs
            }
            next_ = 0;
            notes_.keepOnly(listing_);
        }
        while (next_ < listing_.size()) {
            const std::string name = listing_[next_];
            switch (readiness(name)) {
            case Readiness::Ready:
                if (!acceptsHandOff()) {
                    return;
                }
                ++next_;
                waiting_.reset();
                if (!handOver(name) || !handleWorkFile()) {
                    return;
                }
                if (platform_.clock().steadyNow() >= deadline) {
                    wakeIn(milliseconds(0));
                    return;
                }
                break;
            case Readiness::HeldOpen:
                // The files after it wait: the next tick lists the directory anew.
                listing_.clear();
                next_ = 0;
                return;
            case Readiness::Settling:
            case Readiness::PassedOver:
                ++next_;
                break;
            }
        }
        listing_.clear();
        next_ = 0;
        // The listing may predate a change that the event loop has read since.
        const bool changed = std::exchange(changedMeanwhile_, false);
        if (!changes_->readChanges() && !changed) {
            return;
        }
        if (platform_.clock().steadyNow() >= deadline) {
            wakeIn(milliseconds(0));
            return;
        }
    }
}

// A work file that an earlier run or hand-off left goes before every other job: every hand-off
// needs its name. True when there is none any more.
bool Monitor::handleWorkFile() {
    platform::WatchedDirectory& directory = platform_.directory();
    const std::string path = pathOf(kWorkFileName);
    const EntryKind kind = directory.kind(path);
    if (kind == EntryKind::Missing) {
        return true;
    }
    if (!acceptsHandOff()) {
        return false;
    }
    if (kind != EntryKind::RegularFile) {
        try {
            directory.checkReadable(path);
        } catch (const std::exception& failure) {
            keep(path, platform::describe(failure), "");
        }
        return !stopped_ && directory.kind(path) == EntryKind::Missing;
    }
    // Another process may still have it: a program that wrote a job of this name, or another
    // Tarvo on the same directory, which routes it and may end it at any moment.
    OpenState state = changes_->openState(kWorkFileName);
    platform::FileIdentity identity;
    try {
        if (state == OpenState::Unknown) {
            changes_->distrust(kWorkFileName);
            if (directory.fileUse(path) == FileUse::HeldOpen) {
                state = OpenState::Open;
            }
        }
        identity = directory.identity(path);
    } catch (const platform::NotFound&) {
        return true; // ended meanwhile; a hand-off finds out whether a new one took its name
    }
    if (state == OpenState::Open) {
        waitFor(kWorkFileName, true);
        return false;
    }
    waiting_.reset();
    return route({path, identity, "", path}) && directory.kind(path) == EntryKind::Missing;
}

// Tries again what stopped the monitor, a work file that could be neither routed nor kept. Its
// lines are written only when the attempt goes through: the log says once that the monitor
// stopped, and once that it runs again.
void Monitor::tryAgainWhileStopped() {
    stopped_ = false;
    log_.hold();
    try {
        handleWorkFile();
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kTimerTimer, failure);
        stopped_ = true;
    }
    std::vector<std::string> lines = log_.takeHeld();
    if (stopped_) {
        return;
    }
    log_.write(std::string(logtext::kTimerTimer) + std::string(logtext::kMonitorRunsAgain) +
               watchedDirectory_);
    for (const std::string& held : lines) {
        log_.write(held);
    }
}

Monitor::Readiness Monitor::readiness(const std::string& name) {
    platform::WatchedDirectory& directory = platform_.directory();
    const std::string path = pathOf(name);
    if (name == kWorkFileName ||
        platform::isProgramFile(platform_.locations(), watchedDirectory_, name)) {
        return Readiness::PassedOver;
    }
    try {
        if (const platform::FileIdentity* left = notes_.leftInPlace(name)) {
            if (directory.identity(path) == *left) {
                return Readiness::PassedOver;
            }
            notes_.forget(name);
        }
        if (notes_.undecided(name) != nullptr) {
            return settled(name, path);
        }
        // The file itself answers where it can: the changes count opens and closes by events
        // that the system may merge, so they only answer for files that cannot be asked (of
        // another owner), and tell when to ask again. A file they know held open is asked at
        // each wake-up, at least every second.
        const OpenState state = changes_->openState(name);
        if (state == OpenState::Unknown) {
            changes_->distrust(name);
        }
        switch (directory.fileUse(path)) {
        case FileUse::Free:
            notes_.forget(name);
            return Readiness::Ready;
        case FileUse::HeldOpen:
            if (state == OpenState::Closed) {
                changes_->distrust(name); // a history that missed an open; Unknown is already
            }
            waitFor(name, state != OpenState::Open);
            return Readiness::HeldOpen;
        case FileUse::Unknown:
            break;
        }
        if (state == OpenState::Closed) {
            notes_.forget(name);
            return Readiness::Ready;
        }
        if (state == OpenState::Open) {
            waitFor(name, false);
            return Readiness::HeldOpen;
        }
        notes_.noteUndecided(name, directory.identity(path), platform_.clock().steadyNow());
        wakeIn(kSettleTime);
        return Readiness::Settling;
    } catch (const std::exception& failure) {
        // One gone meanwhile is passed over silently, one that cannot be examined with one line.
        if (directory.kind(path) != EntryKind::Missing && notes_.firstTimeUnexaminable(name)) {
            log_.write(line(logtext::kTimerTimer, platform::describe(failure),
                            std::string(logtext::kPassedOver) + path));
        }
        return Readiness::PassedOver;
    }
}

// A file whose use cannot be told is taken once it has stood unchanged (size, modification and
// change times) for kSettleTime, with one line. Until then it costs a look at its status once
// the time is up, never an open.
Monitor::Readiness Monitor::settled(const std::string& name, const std::string& path) {
    FileNotes::Undecided& undecided = *notes_.undecided(name);
    const FileNotes::Time now = platform_.clock().steadyNow();
    const milliseconds left = kSettleTime - until(now, undecided.since);
    if (left > milliseconds(0)) {
        wakeIn(left);
        return Readiness::Settling;
    }
    const platform::FileIdentity identity = platform_.directory().identity(path);
    if (identity != undecided.identity) {
        undecided = {identity, now};
        wakeIn(kSettleTime);
        return Readiness::Settling;
    }
    notes_.forget(name);
    log_.write(line(logtext::kTimerTimer, logtext::kUseCannotBeTold,
                    std::string(logtext::kTakenUnchanged) + path));
    return Readiness::Ready;
}

// Notes that the file is held open, and names it in the log once it has waited a minute. A file
// whose closing no change will report (polled) is looked at again at every poll interval, one
// whose closing will be reported every second in case the report is lost.
void Monitor::waitFor(const std::string& name, bool polled) {
    const FileNotes::Time now = platform_.clock().steadyNow();
    if (!waiting_ || waiting_->name != name) {
        waiting_ = Waiting{name, now, false};
    } else if (!waiting_->named && now - waiting_->since >= kHeldOpenNotice) {
        log_.write(line(logtext::kTimerTimer, logtext::kStillOpen,
                        std::string(logtext::kFilesAfterItWait) + pathOf(name)));
        waiting_->named = true;
    }
    wakeIn(polled ? kPollInterval : kAskHeldFileAgain);
}

// Whether a hand-off can make and remove names in the watched directory. While it cannot (a
// directory made read-only for a while), jobs wait, and the log says so once.
bool Monitor::acceptsHandOff() {
    try {
        platform_.directory().checkWritable(watchedDirectory_);
        refusalNamed_ = false;
        return true;
    } catch (const std::exception& failure) {
        if (!refusalNamed_) {
            log_.write(line(logtext::kTimerTimer, platform::describe(failure),
                            std::string(logtext::kNoJobUntilWritable) + watchedDirectory_));
            refusalNamed_ = true;
        }
        wakeIn(kPollInterval);
        return false;
    }
}

// Gives the job the work file's name in one step, so that it is never without a name nor under
// two, and routes it. A job that went away first (taken by another process) or a work file that
// came meanwhile is no failure. False when the monitor must stop, or a job was cut short.
bool Monitor::handOver(const std::string& name) {
    platform::WatchedDirectory& directory = platform_.directory();
    const std::string path = pathOf(name);
    const std::string work = pathOf(kWorkFileName);
    // Another Tarvo on this directory may hold the work file's name, and give it up, at any
    // moment: a failed rename is tried again while the name came free meanwhile.
    for (int attempt = 1;; ++attempt) {
        try {
            // A record without its work file is of a job that ended when the record was to go.
            progress_.end();
            directory.renameFile(path, work);
            break;
        } catch (const std::exception& failure) {
            if (directory.kind(path) == EntryKind::Missing ||
                directory.kind(work) != EntryKind::Missing) {
                return true;
            }
            if (attempt == kHandOverAttempts) {
                return keep(path, platform::describe(failure), "");
            }
        }
    }
    platform::FileIdentity identity;
    try {
        identity = directory.identity(work);
    } catch (const platform::NotFound&) {
        return true; // another Tarvo on this directory took it and routed it already
    }
    return route({work, identity, name, path});
}

bool Monitor::route(const routing::WorkFile& work) {
    switch (processor_.process(work, settings_, progress_)) {
    case routing::JobOutcome::Done:
    case routing::JobOutcome::TakenElsewhere:
        return true;
    case routing::JobOutcome::Interrupted:
        interrupted_ = true;
        return false;
    case routing::JobOutcome::NotProcessed:
        break;
    }
    // The work file keeps the job's own name in "failed": the record knows it when an earlier run
    // handed the job over.
    std::string jobName = work.jobName;
    if (jobName.empty()) {
        if (const auto recorded = progress_.read(work.identity)) {
            jobName = recorded->jobName;
        }
    }
    const bool goesOn = keep(work.path, std::string(logtext::kWorkFileNotProcessed), jobName);
    if (platform_.directory().kind(work.path) == platform::EntryKind::Missing) {
        progress_.end();
    }
    return goesOn;
}

// Keeps a job that could not be handed over or routed, with one line: moves it into "failed"
// under the job's name (path's own when jobName is empty), or where that fails too, leaves it in
// place, passed over until it changes. The work file cannot be left so, since every hand-off
// needs its name: the monitor stops, unless the directory refuses all changes for a while. False
// when the monitor must stop.
bool Monitor::keep(const std::string& path, const std::string& why, const std::string& jobName) {
    platform::WatchedDirectory& directory = platform_.directory();
    try {
        log_.write(line(logtext::kHandleNewFile, why,
                        std::string(logtext::kJobKeptAs) + directory.moveToFailed(path, jobName)));
        return true;
    } catch (const std::exception& moveFailure) {
        const std::string notMoved = std::string(logtext::kMovingIntoFailed) +
                                     platform::describe(moveFailure) + "): " + path;
        try {
            if (directory.kind(path) == EntryKind::Missing) {
                return true; // gone meanwhile: nothing is left to keep
            }
            if (path != pathOf(kWorkFileName)) {
                notes_.leaveInPlace(path.substr(watchedDirectory_.size() + 1),
                                    directory.identity(path));
                log_.write(line(logtext::kHandleNewFile, why,
                                std::string(logtext::kLeftUntilItChanges) + notMoved));
                return true;
            }
            directory.checkWritable(watchedDirectory_);
        } catch (const std::exception&) {
            if (path == pathOf(kWorkFileName)) {
                // A directory that refuses changes for a while: the work file waits.
                log_.write(line(logtext::kHandleNewFile, why,
                                std::string(logtext::kLeftUntilWritable) + notMoved));
                return true;
            }
        }
        log_.write(
            line(logtext::kHandleNewFile, why, std::string(logtext::kMonitorStopped) + notMoved));
        stopped_ = true;
        return false;
    }
}

} // namespace monitor
