#include "ui/logic/TrayController.h"

#include "core/LogTexts.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Signals.h"

#include <algorithm>
#include <utility>

namespace ui::logic {
namespace {

constexpr const char* kReadyTooltip = "Tarvo - Ready";
// The record of the spool jobs followed, beside the work file.
constexpr const char* kSpoolJobRecordName = ".printjobs";

// The notification as one line, for standard error.
std::string oneLine(const Notification& notification) {
    std::string line = notification.title + std::string(logtext::kBecause) + notification.text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    return line;
}

// The earlier of two ticks asked for.
monitor::NextTick earliest(monitor::NextTick a, monitor::NextTick b) {
    if (!a || (b && *b < *a)) {
        return b;
    }
    return a;
}

} // namespace

TrayController::TrayController(TrayView& view, core::Application& application,
                               const std::string& watchedDirectory)
    : view_(view), application_(application), log_(application.log()),
      watchedDirectory_(watchedDirectory),
      follower_(application.platform().spooler(), application.platform().directory(),
                application.platform().clock(), application.log(), application.settings(), *this,
                platform::joinPath(watchedDirectory, kSpoolJobRecordName)),
      monitor_(*this, application.settings(), watchedDirectory, application.platform(),
               application.log(), *this) {}

void TrayController::initialize() {
    firstLine_ = kReadyTooltip;
    shownTooltip_ = kReadyTooltip;
    try {
        view_.showTrayIcon(kReadyTooltip);
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kInitialize, failure);
    }
    view_.scheduleTick(monitor::Monitor::kPollInterval);
}

void TrayController::unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    try {
        enabled_ = false;
        view_.scheduleTick(std::nullopt);
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kUnload, failure);
    }
}

void TrayController::tick() {
    // Once a stop has been requested no further job is taken; the event loop ends the program.
    if (ticking_ || unloaded_ || platform::stopRequested()) {
        return;
    }
    ticking_ = true;
    monitor::NextTick next;
    if (enabled_) {
        next = monitor_.tick();
        status_.setMonitorStopped(monitor_.stopped());
    }
    followSpoolJobs();
    try {
        showStatus();
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kTimerTimer, failure);
    }
    ticking_ = false;
    if (!unloaded_) {
        view_.scheduleTick(earliest(next, follower_.nextRound()));
    }
}

// A round of the follower when one is due; a stop request that cut it short ends nothing more.
void TrayController::followSpoolJobs() {
    try {
        if (follower_.roundDue()) {
            follower_.round();
        }
    } catch (const std::exception&) {
        // Interrupted alone: the event loop ends the program.
    }
    status_.setPrinters(follower_.printersToShow());
}

void TrayController::changesReady() {
    // Read in any case, or the handle would stay ready.
    if (monitor_.changesReady()) {
        tick();
    }
}

void TrayController::onTrayClicked() {
    try {
        view_.showConfigWindow();
        status_.configWindowOpened();
        showStatus();
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kTrayIconClick, failure);
    }
}

bool TrayController::isAvailable(TrayCommand command) const {
    const auto is = [this](const std::string& path, platform::EntryKind kind) {
        try {
            return application_.platform().directory().kind(path) == kind;
        } catch (const std::exception&) {
            return false;
        }
    };
    switch (command) {
    case TrayCommand::OpenLog:
        return is(application_.platform().locations().logFile, platform::EntryKind::RegularFile);
    case TrayCommand::OpenWatchedFolder:
        return is(watchedDirectory_, platform::EntryKind::Directory);
    case TrayCommand::OpenFailedJobs:
        return is(platform::joinPath(watchedDirectory_, "failed"), platform::EntryKind::Directory);
    case TrayCommand::Configure:
    case TrayCommand::PauseMonitoring:
    case TrayCommand::Terminate:
        break;
    }
    return true;
}

void TrayController::run(TrayCommand command) {
    try {
        switch (command) {
        case TrayCommand::Configure:
            onTrayClicked();
            break;
        case TrayCommand::OpenLog:
            view_.openOnDesktop(application_.platform().locations().logFile);
            break;
        case TrayCommand::OpenWatchedFolder:
            view_.openOnDesktop(watchedDirectory_);
            break;
        case TrayCommand::OpenFailedJobs:
            view_.openOnDesktop(platform::joinPath(watchedDirectory_, "failed"));
            break;
        case TrayCommand::PauseMonitoring:
            setMonitorTimerEnabled(paused());
            break;
        case TrayCommand::Terminate:
            stop();
            break;
        }
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kTrayMenuClick, failure);
    }
}

std::vector<routing::HeldBackJob> TrayController::heldBackJobs() const {
    std::vector<routing::HeldBackJob> jobs = follower_.heldBackJobs();
    if (jobs.size() > kHeldBackItemsShown) {
        jobs.resize(kHeldBackItemsShown);
    }
    return jobs;
}

void TrayController::openPrinterQueue(const std::string& printer) {
    try {
        view_.openPrinterQueue(printer);
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kTrayMenuClick, failure);
    }
}

void TrayController::stop() {
    setMonitorTimerEnabled(false);
    unload();
    view_.endProgram();
}

void TrayController::setMonitorTimerEnabled(bool enabled) {
    enabled_ = enabled && !unloaded_;
    status_.setPaused(!enabled_);
    showStatus();
    if (enabled_) {
        view_.scheduleTick(std::chrono::milliseconds(0));
    } else {
        view_.scheduleTick(unloaded_ ? std::nullopt : follower_.nextRound());
    }
}

void TrayController::unloadTrayWindow() {
    unload();
}

void TrayController::endProgram() {
    view_.endProgram();
}

// The monitor's tooltip goes to the view every time, as its first line.
void TrayController::setTrayTooltip(const std::string& text) {
    firstLine_ = text;
    shownTooltip_ = status_.tooltip(firstLine_);
    view_.setTrayTooltip(shownTooltip_);
}

// Headless, every section is told; with a tray, the notifications that the status lets through.
// Called within a job, which no failure here may end.
void TrayController::sectionNotDelivered(const routing::UndeliveredSection& section) {
    try {
        const platform::Clock& clock = application_.platform().clock();
        const bool due = status_.sectionNotDelivered(section, now(), clock.steadyNow(),
                                                     view_.configWindowOpen());
        const Notification notification = notificationOf(section);
        if (!view_.hasTray()) {
            platform::reportOnStandardError(oneLine(notification));
        } else if (due) {
            view_.notify(notification);
        }
        showStatus();
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kTimerTimer, failure);
    }
}

// Called within a job, before its progress record counts the section.
void TrayController::sectionSpooled(const routing::SpooledSection& section) {
    follower_.follow(section);
}

// Headless, every job held back is told; with a tray, the notifications that the status lets
// through.
void TrayController::spoolJobHeldBack(const routing::HeldBackJob& job) {
    try {
        const bool due = status_.spoolJobHeldBack(job, application_.platform().clock().steadyNow());
        const Notification notification = notificationOf(job);
        if (!view_.hasTray()) {
            platform::reportOnStandardError(oneLine(notification));
        } else if (due) {
            view_.notify(notification);
        }
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kTimerTimer, failure);
    }
}

void TrayController::jobEnded(bool allDelivered) {
    try {
        status_.jobEnded(allDelivered, now());
        showStatus();
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kTimerTimer, failure);
    }
}

void TrayController::showStatus() {
    const TrayIcon icon = status_.icon();
    if (icon != shownIcon_) {
        view_.setTrayIcon(icon);
        shownIcon_ = icon;
    }
    if (std::string tooltip = status_.tooltip(firstLine_); tooltip != shownTooltip_) {
        shownTooltip_ = std::move(tooltip);
        view_.setTrayTooltip(shownTooltip_);
    }
    if (monitor_.stopped() != monitorStopped_) {
        monitorStopped_ = monitor_.stopped();
        if (!view_.hasTray()) {
            platform::reportOnStandardError(
                monitorStopped_ ? std::string(logtext::kMonitorStoppedSeeLog)
                                : std::string(logtext::kMonitorRunsAgain) + watchedDirectory_);
        }
    }
}

std::string TrayController::now() const {
    return platform::generalDate(application_.platform().clock().now());
}

} // namespace ui::logic
