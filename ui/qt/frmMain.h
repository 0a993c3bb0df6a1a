#pragma once

#include "core/modConfig.h"
#include "ui/logic/MainWindow.h"

#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <string>

class frmConfig;

// The main window. It is never shown: it owns the tray icon, the only visible sign of the
// running program, the 100-millisecond timer whose ticks run the directory monitor, and the
// watch on the changes of the watched directory, which run a tick at once.
class frmMain final : public QWidget, private ui::logic::MainWindowView {
    Q_OBJECT

public:
    // Watches strWatchDir; the configuration window edits settings.
    frmMain(modConfig::Settings& settings, const std::string& strWatchDir);
    ~frmMain() override;

    // A request from outside to stop: ends the program between two ticks, as "Terminate" does.
    void stop() { logic.stop(); }

    bool timerEnabled() const { return Timer.isActive(); }
    QString trayTooltip() const { return ctTray.toolTip(); }

private:
    void setTrayTooltip(const std::string& text) override;
    void setTimerEnabled(bool enabled) override;
    void showTrayIcon(const std::string& tooltip) override;
    void showConfigWindow() override;
    void endProgram() override;

    modConfig::Settings& settings;
    QSystemTrayIcon ctTray;
    QTimer Timer;
    QPointer<frmConfig> config;
    ui::logic::MainWindow logic;
};
