#include "ui/logic/TrayController.h"

#include "core/LogTexts.h"
#include "platform/Signals.h"

namespace ui::logic {

TrayController::TrayController(TrayView& view, core::Application& application,
                               const std::string& watchedDirectory)
    : view_(view), log_(application.log()),
      monitor_(*this, application.settings(), watchedDirectory, application.platform(),
               application.log()) {}

void TrayController::initialize() {
    try {
        view_.showTrayIcon("Tarvo - Ready");
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kInitialize, failure);
    }
}

void TrayController::unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    try {
        setTimerEnabled(false);
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kUnload, failure);
    }
}

void TrayController::tick() {
    // Once a stop has been requested no further job is taken; the event loop ends the program.
    if (platform::stopRequested()) {
        return;
    }
    monitor_.tick();
}

void TrayController::changesReady() {
    // Read in any case, or the handle would stay ready.
    if (monitor_.changesReady() && timerEnabled_) {
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
    setTimerEnabled(enabled);
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

void TrayController::setTimerEnabled(bool enabled) {
    view_.setTimerEnabled(enabled);
    timerEnabled_ = enabled;
}

} // namespace ui::logic
