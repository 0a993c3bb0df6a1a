#pragma once

#include "platform/Failure.h"
#include "ui/logic/TrayController.h"

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// A tray window's view that records what it is asked to show and do.
class RecordingTrayView final : public ui::logic::TrayView {
public:
    std::string tooltip;
    monitor::NextTick scheduled;
    ui::logic::TrayIcon icon = ui::logic::TrayIcon::Normal;
    std::vector<ui::logic::Notification> notifications;
    // What was opened on the desktop, and the printers whose queues were opened.
    std::vector<std::string> opened;
    // Whether there is a tray, and the configuration window open.
    bool tray = true;
    bool configOpen = false;
    // When not empty, the tooltip, or an opening on the desktop, throws Failure with this text.
    std::string tooltipFailure;
    std::string openFailure;
    // Run with each tooltip, as an event loop that a tick's alert box runs would.
    std::function<void()> duringTick;

    void setTrayTooltip(const std::string& text) override {
        if (!tooltipFailure.empty()) {
            throw platform::Failure(tooltipFailure);
        }
        tooltip = text;
        if (duringTick) {
            duringTick();
        }
    }
    void scheduleTick(monitor::NextTick delay) override { scheduled = delay; }
    void showTrayIcon(const std::string& text) override { tooltip = text; }
    void setTrayIcon(ui::logic::TrayIcon shown) override { icon = shown; }
    bool hasTray() const override { return tray; }
    void notify(const ui::logic::Notification& notification) override {
        notifications.push_back(notification);
    }
    void openOnDesktop(const std::string& path) override {
        if (!openFailure.empty()) {
            throw platform::Failure(openFailure);
        }
        opened.push_back(path);
    }
    bool opensPrinterQueues() const override { return true; }
    void openPrinterQueue(const std::string& printer) override { opened.push_back(printer); }
    void showConfigWindow() override { configOpen = true; }
    bool configWindowOpen() const override { return configOpen; }
    void endProgram() override {}
};

} // namespace testsupport
