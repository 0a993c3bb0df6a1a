#pragma once

#include "core/Application.h"
#include "ui/logic/TrayController.h"

#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <string>

namespace ui::qt {

class ConfigDialog;

// The never-shown tray window: the tray icon, the monitor timer and the watch on directory changes.
class TrayWindow final : public QWidget, private logic::TrayView {
    Q_OBJECT

public:
    TrayWindow(core::Application& application, const std::string& watchedDirectory);
    ~TrayWindow() override;

    // A request from outside to stop: ends the program between two ticks, as "Terminate" does.
    void stop() { controller_.stop(); }

    // Whether a tick is scheduled.
    bool tickScheduled() const { return monitorTimer_.isActive(); }
    QString trayTooltip() const { return tray_.toolTip(); }

private:
    void setTrayTooltip(const std::string& text) override;
    void scheduleTick(monitor::NextTick delay) override;
    void showTrayIcon(const std::string& tooltip) override;
    void showConfigWindow() override;
    void endProgram() override;

    core::Application& application_;
    QSystemTrayIcon tray_;
    QTimer monitorTimer_;
    QPointer<ConfigDialog> config_;
    logic::TrayController controller_;
};

} // namespace ui::qt
