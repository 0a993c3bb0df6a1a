#pragma once

#include "core/Application.h"
#include "ui/logic/TrayController.h"
#include "ui/win32/ConfigDialog.h"

#include <windows.h>

#include <shellapi.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace ui::win32 {

// The never-shown tray window, with the tray icon and its menu; top-level, so it hears of log-off,
// shutdown and a new taskbar.
class TrayWindow final : private logic::TrayView {
public:
    // Throws Failure when the window cannot be made.
    TrayWindow(core::Application& application, const std::string& watchedDirectory);
    ~TrayWindow() override;
    TrayWindow(const TrayWindow&) = delete;
    TrayWindow& operator=(const TrayWindow&) = delete;

    // Signalled while directory changes wait (nullptr when none); the loop then calls changesReady.
    HANDLE changesHandle() const {
        const std::intptr_t handle = controller_.changesHandle();
        return handle < 0 ? nullptr : reinterpret_cast<HANDLE>(handle);
    }
    void changesReady() { controller_.changesReady(); }

    // Lets the open configuration window take its keyboard messages; false when it did not.
    bool isDialogMessage(MSG& message) { return config_ && config_->isDialogMessage(message); }

    // The icon and the tooltip as the notification area was given them.
    HICON trayIcon() const { return tray_.hIcon; }
    std::string trayTooltip() const { return tray_.szTip; }

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT onMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);

    void setTrayTooltip(const std::string& text) override;
    void scheduleTick(monitor::NextTick delay) override;
    void showTrayIcon(const std::string& tooltip) override;
    void setTrayIcon(logic::TrayIcon icon) override;
    bool hasTray() const override { return trayAdded_; }
    void notify(const logic::Notification& notification) override;
    void openOnDesktop(const std::string& path) override;
    bool opensPrinterQueues() const override { return true; }
    void openPrinterQueue(const std::string& printer) override;
    void showConfigWindow() override;
    bool configWindowOpen() const override { return config_ && config_->isOpen(); }
    void endProgram() override;

    bool addTrayIcon();
    void removeTrayIcon();
    // Shows the menu at the mouse and runs the command chosen.
    void showMenu();

    core::Application& application_;
    HWND window_ = nullptr;
    // The icon of each TrayIcon, in its order.
    std::array<HICON, 3> icons_{};
    // The tray icon as the notification area was given it.
    NOTIFYICONDATAA tray_{};
    // Whether the icon is meant to be in the tray, and whether the tray has taken it.
    bool trayWanted_ = false;
    bool trayAdded_ = false;
    std::string shownTooltip_;
    // When the tray was last asked to take the icon, in ms since the system started.
    std::uint64_t lastTrayAttempt_ = 0;
    // The message by which a taskbar that has started anew asks for the icons again.
    UINT taskbarCreated_ = 0;
    logic::TrayController controller_;
    // The configuration window while loaded; declared last, so destroyed before the controller.
    std::unique_ptr<ConfigDialog> config_;
};

} // namespace ui::win32
