#pragma once

#include "core/Application.h"
#include "ui/logic/TrayController.h"

#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <array>
#include <string>
#include <vector>

namespace ui::qt {

class ConfigDialog;

// The never-shown tray window: the tray icon with its menu, the monitor timer and the watch on
// directory changes.
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
    void setTrayIcon(logic::TrayIcon icon) override;
    bool hasTray() const override;
    void notify(const logic::Notification& notification) override;
    void openOnDesktop(const std::string& path) override;
    bool opensPrinterQueues() const override { return false; }
    void openPrinterQueue(const std::string& printer) override;
    void showConfigWindow() override;
    bool configWindowOpen() const override;
    void endProgram() override;

    // The menu's items as they stand now: the spool jobs held back, which items can be chosen,
    // whether monitoring is paused.
    void updateMenu();

    core::Application& application_;
    QSystemTrayIcon tray_;
    QMenu menu_;
    // The menu's actions, in the order of its items.
    std::array<QAction*, logic::kTrayMenu.size()> actions_{};
    // The items of the spool jobs held back, and the separator after them, above those.
    std::vector<QAction*> heldBackActions_;
    // The icon of each TrayIcon, in its order.
    std::array<QIcon, 3> icons_;
    QTimer monitorTimer_;
    QPointer<ConfigDialog> config_;
    logic::TrayController controller_;
};

} // namespace ui::qt
