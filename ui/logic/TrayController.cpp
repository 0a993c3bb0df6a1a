#include "ui/logic/TrayController.h"

#include "core/LogTexts.h"
#include "platform/Signals.h"

#include <utility>

namespace ui::logic {

TrayController::TrayController(TrayView& view, core::Application& application,
                               const std::string& watchedDirectory)
    : view_(view), log_(application.log()),
      monitor_(*this, application.settings(), watchedDirectory, application.platform(),
               application.log(), deliveries_) {}

void TrayController::initialize() {
    try {
        view_.showTrayIcon("Tarvo - Ready");
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
    if (ticking_ || !enabled_ || platform::stopRequested()) {
        return;
    }
    ticking_ = true;
    const monitor::NextTick next = monitor_.tick();
    ticking_ = false;
    if (enabled_) {
        view_.scheduleTick(next);
    }
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
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kTrayIconClick, failure);
    }
}

void TrayController::stop() {
    setMonitorTimerEnabled(false);
    unload();
    view_.endProgram();
}

void TrayController::setMonitorTimerEnabled(bool enabled) {
    enabled_ = enabled && !unloaded_;
    view_.scheduleTick(enabled_ ? monitor::NextTick(std::chrono::milliseconds(0)) : std::nullopt);
}

void TrayController::unloadTrayWindow() {
    unload();
}

void TrayController::endProgram() {
    view_.endProgram();
}

void TrayController::setTrayTooltip(const std::string& text) {
    view_.setTrayTooltip(text);
}

} // namespace ui::logic
