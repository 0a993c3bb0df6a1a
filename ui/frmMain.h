#pragma once

#include "monitor/Monitor.h"
#include "ui/MainWindowControl.h"

#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

class frmConfig;

// The main window. It is never shown: it owns the tray icon, the only visible sign of the
// running program, and the 100-millisecond timer whose ticks run the directory monitor.
class frmMain final : public QWidget, public ui::MainWindowControl, public monitor::Host {
    Q_OBJECT

public:
    frmMain();
    ~frmMain() override;

    // What the monitor asks of the window.
    void setTrayTooltip(const std::string& text) override;
    void setTimerEnabled(bool enabled) override;

    // What the configuration window asks of it.
    void setMonitorTimerEnabled(bool enabled) override;
    void unloadMainWindow() override;
    void endProgram() override;

    bool timerEnabled() const { return Timer.isActive(); }
    QString trayTooltip() const { return ctTray.toolTip(); }

private:
    void Initialize();
    void Unload();
    void Timer_Timer();
    void ctTray_IconClick();

    QSystemTrayIcon ctTray;
    QTimer Timer;
    QPointer<frmConfig> config;
    bool unloaded = false;
};
