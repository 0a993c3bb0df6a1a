#include "monitor/Monitor.h"

#include "core/LogTexts.h"
#include "platform/Failure.h"
#include "platform/Paths.h"
#include "platform/WatchedDirectory.h"

#include <chrono>
#include <ctime>
#include <exception>
#include <string_view>
#include <utility>

namespace monitor {
namespace {

using platform::EntryKind;
using platform::OpenState;
using platform::WatchedDirectory;

constexpr const char* kStoppedTooltip = "Tarvo - Monitor stopped, see Tarvo.log";
// How long a held-open file blocks the ones after it before the log names it.
constexpr std::time_t kHeldOpenNoticeSeconds = 60;
// How long a tick goes on taking jobs while the windows wait: one timer interval.
constexpr auto kBurstTime = std::chrono::milliseconds(100);
constexpr const char* kWorkFileName = "newjob";

std::string line(std::string_view prefix, std::string_view description, std::string_view rest) {
    std::string text(prefix);
    text += description;
    text += rest;
    return text;
}

} // namespace

Monitor::Monitor(MonitorHost& host, const core::Settings& settings, std::string watchedDirectory,
                 platform::Platform& platform, core::ActivityLog& log)
    : host_(host), settings_(settings), watchedDirectory_(std::move(watchedDirectory)),
      platform_(platform), log_(log), changes_(platform.followChanges(watchedDirectory_)),
      processor_(platform.spooler(), platform.locations(), log) {}

std::string Monitor::workFilePath() const {
    return platform::joinPath(watchedDirectory_, kWorkFileName);
}

// Notes that path is held open; logs it once it has waited a minute.
void Monitor::waitFor(const std::string& path) {
    const std::time_t now = platform_.clock().now();
    if (waiting_.path != path) {
        waiting_ = {path, now, false};
    } else if (!waiting_.named && now - waiting_.since >= kHeldOpenNoticeSeconds) {
        log_.write(line(logtext::kTimerTimer, logtext::kStillOpen,
                        std::string(logtext::kFilesAfterItWait) + path));
        waiting_.named = true;
    }
}

// The directory's changes answer for files of any owner whose history they know; otherwise the
// file itself is asked. Throws when the file cannot be read.
bool Monitor::isHeldOpen(WatchedDirectory& directory, const std::string& name,
                         const std::string& path) {
    switch (changes_->openState(name)) {
    case OpenState::Open:
        return true;
    case OpenState::Closed:
        directory.checkReadable(path);
        return false;
    case OpenState::Unknown:
        break;
    }
    return directory.isHeldOpen(path);
}

// One that cannot be examined is logged once and passed over; one gone meanwhile, silently.
Monitor::Examination Monitor::examine(WatchedDirectory& directory, const std::string& name,
                                      const std::string& path) {
    try {
        const bool held = isHeldOpen(directory, name, path);
        passedOver_.forget(path);
        return held ? Examination::HeldOpen : Examination::Free;
    } catch (const std::exception& failure) {
        if (directory.kind(path) != EntryKind::Missing && passedOver_.cannotExamine(path)) {
            log_.write(line(logtext::kTimerTimer, platform::describe(failure),
                            std::string(logtext::kPassedOver) + path));
        }
        return Examination::PassedOver;
    }
}

// Whether a failed hand-off left the job in place and it has not changed since.
bool Monitor::isLeftUnchanged(WatchedDirectory& directory, const std::string& path) {
    const platform::FileIdentity* left = passedOver_.leftInPlace(path);
    if (left == nullptr) {
        return false;
    }
    try {
        if (directory.identity(path) == *left) {
            return true;
        }
    } catch (const std::exception&) {
    }
    passedOver_.forget(path);
    return false;
}

// The first listed job not passed over; free tells whether no other process has it open.
std::optional<std::string> Monitor::findFirstJob(WatchedDirectory& directory, bool& free) {
    std::optional<std::string> first;
    passedOver_.beginListing();
    directory.visitJobNames(watchedDirectory_, [&](const std::string& name) {
        const std::string path = platform::joinPath(watchedDirectory_, name);
        passedOver_.reached(path);
        if (platform::isProgramFile(platform_.locations(), watchedDirectory_, name) ||
            isLeftUnchanged(directory, path)) {
            return true;
        }
        const Examination examination = examine(directory, name, path);
        if (examination == Examination::PassedOver) {
            return true;
        }
        first = path;
        free = examination == Examination::Free;
        return false;
    });
    passedOver_.endListing(first.value_or(""));
    return first;
}

// Where the directory is read-only for a while, the jobs wait and the log says so once.
bool Monitor::acceptsHandOff(WatchedDirectory& directory) {
    try {
        directory.checkWritable(watchedDirectory_);
        refusalNamed_ = false;
        return true;
    } catch (const std::exception& failure) {
        if (!refusalNamed_) {
            log_.write(line(logtext::kTimerTimer, platform::describe(failure),
                            std::string(logtext::kNoJobUntilWritable) + watchedDirectory_));
            refusalNamed_ = true;
        }
        return false;
    }
}

// As acceptsHandOff, without logging.
bool Monitor::writable(WatchedDirectory& directory) const {
    try {
        directory.checkWritable(watchedDirectory_);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Keeps a job that could not be handed over, with one log line: moves it into "failed", or else
// leaves it in place. A work file stays only while the directory is read-only, since every
// hand-off needs its name; otherwise false: the monitor must stop.
bool Monitor::keep(WatchedDirectory& directory, const std::string& path, const std::string& why) {
    try {
        log_.write(line(logtext::kHandleNewFile, why,
                        std::string(logtext::kJobKeptAs) + directory.moveToFailed(path)));
        return true;
    } catch (const std::exception& moveFailure) {
        const std::string notMoved = std::string(logtext::kMovingIntoFailed) +
                                     platform::describe(moveFailure) + "): " + path;
        try {
            if (directory.kind(path) == EntryKind::Missing) {
                return true; // gone meanwhile: nothing is left to keep
            }
            if (path != workFilePath()) {
                passedOver_.leaveInPlace(path, directory.identity(path));
                log_.write(line(logtext::kHandleNewFile, why,
                                std::string(logtext::kLeftUntilItChanges) + notMoved));
                return true;
            }
            if (!writable(directory)) {
                // No job is taken meanwhile; the work file goes first once it is writable.
                log_.write(line(logtext::kHandleNewFile, why,
                                std::string(logtext::kLeftUntilWritable) + notMoved));
                return true;
            }
        } catch (const std::exception&) {
            // Without its identity it could not be passed over.
        }
        log_.write(
            line(logtext::kHandleNewFile, why, std::string(logtext::kMonitorStopped) + notMoved));
        return false;
    }
}

namespace {

// False when nothing was taken: the job went away, or a work file came (it goes first next look).
bool takeJob(WatchedDirectory& directory, const std::string& path, const std::string& workPath) {
    try {
        directory.renameFile(path, workPath);
        return true;
    } catch (const std::exception&) {
        if (directory.kind(path) == EntryKind::Missing ||
            directory.kind(workPath) != EntryKind::Missing) {
            return false;
        }
        throw;
    }
}

} // namespace

void Monitor::tick() {
    bool keepRunning = true;
    burstCut_ = false;
    try {
        host_.setTrayTooltip("Tarvo - Monitor active on " + settings_.monitorDirectory);
        const auto start = std::chrono::steady_clock::now();
        bool lookedAgain = false;
        for (;;) {
            const std::optional<std::string> job = findReadyJob();
            if (!job) {
                // Changes during the look may have made a job ready: look once more. Reading
                // them also keeps the look's own changes from waking the event loop.
                if (!changes_->readChanges() || std::exchange(lookedAgain, true)) {
                    break;
                }
                continue;
            }
            host_.setTimerEnabled(false);
            log_.write(std::string(logtext::kProcessing) + *job);
            keepRunning = handOver(*job);
            if (!keepRunning) {
                break;
            }
            if (std::chrono::steady_clock::now() - start >= kBurstTime) {
                // The hand-offs' own changes wake the event loop; changesReady() resumes once
                // it has handled what waited.
                burstCut_ = true;
                break;
            }
        }
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kTimerTimer, failure);
    }
    try {
        host_.setTimerEnabled(keepRunning);
        if (!keepRunning) {
            host_.setTrayTooltip(kStoppedTooltip);
        }
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kTimerTimer, failure);
    }
}

bool Monitor::changesReady() {
    const bool mayBeReady = changes_->readChanges();
    return std::exchange(burstCut_, false) || mayBeReady;
}

std::optional<std::string> Monitor::findReadyJob() {
    bool free = false;
    try {
        WatchedDirectory& directory = platform_.directory();
        // A left-behind work file is its job's only copy and goes first, since every hand-off
        // needs its name; even one that cannot be examined goes: the hand-off keeps it.
        const std::string workPath = workFilePath();
        const EntryKind work = directory.kind(workPath);
        std::optional<std::string> found;
        if (work == EntryKind::Missing) {
            found = findFirstJob(directory, free);
        } else {
            found = workPath;
            try {
                free = work == EntryKind::Other || !isHeldOpen(directory, kWorkFileName, workPath);
            } catch (const std::exception&) {
                free = true;
            }
        }
        if (found && !free) {
            waitFor(*found);
            return std::nullopt;
        }
        waiting_ = {};
        if (free && acceptsHandOff(directory)) {
            return found;
        }
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool Monitor::handOver(const std::string& path) {
    WatchedDirectory& directory = platform_.directory();
    const std::string workPath = workFilePath();
    try {
        if (path != workPath) {
            if (!takeJob(directory, path, workPath)) {
                return true;
            }
        } else {
            // A left-behind work file is the job: only when readable and held by no one.
            directory.checkReadable(workPath);
            if (directory.isHeldOpen(workPath)) {
                throw platform::Failure(std::string(logtext::kStillOpen));
            }
        }
    } catch (const std::exception& failure) {
        return keep(directory, path, platform::describe(failure));
    }
    processor_.process(workPath, settings_);
    // Processing deletes the work file once read: one still there was not processed.
    try {
        if (directory.kind(workPath) == EntryKind::Missing) {
            return true;
        }
    } catch (const std::exception&) {
    }
    return keep(directory, workPath, std::string(logtext::kWorkFileNotProcessed));
}

} // namespace monitor
