#include "ui/logic/MainWindow.h"

#include "core/Prefixes.h"
#include "core/modMain.h"
#include "platform/Signals.h"

namespace ui::logic {

MainWindow::MainWindow(MainWindowView& view, const modConfig::Settings& settings,
                       const std::string& strWatchDir)
    : view_(view), monitor_(*this, settings, strWatchDir) {}

void MainWindow::Initialize() {
    try {
        view_.showTrayIcon("Tarvo - Ready");
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kInitialize, failure);
    }
}

void MainWindow::Unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    try {
        setTimerEnabled(false);
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kUnload, failure);
    }
}

void MainWindow::Timer_Timer() {
    // Once a stop has been requested no further job is taken; the event loop ends the program.
    if (platform::stopRequested()) {
        return;
    }
    monitor_.Timer_Timer();
}

void MainWindow::changesReady() {
    // Read in any case, or the handle would stay ready.
    if (monitor_.changesReady() && timerEnabled_) {
        Timer_Timer();
    }
}

void MainWindow::ctTray_IconClick() {
    try {
        view_.showConfigWindow();
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kTrayIconClick, failure);
    }
}

void MainWindow::stop() {
    setMonitorTimerEnabled(false);
    Unload();
    view_.endProgram();
}

void MainWindow::setMonitorTimerEnabled(bool enabled) {
    setTimerEnabled(enabled);
}

void MainWindow::unloadMainWindow() {
    Unload();
}

void MainWindow::endProgram() {
    view_.endProgram();
}

void MainWindow::setTrayTooltip(const std::string& text) {
    view_.setTrayTooltip(text);
}

void MainWindow::setTimerEnabled(bool enabled) {
    view_.setTimerEnabled(enabled);
    timerEnabled_ = enabled;
}

} // namespace ui::logic
