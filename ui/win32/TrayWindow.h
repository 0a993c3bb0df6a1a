#pragma once

#include "core/Application.h"
#include "ui/logic/TrayController.h"
#include "ui/win32/ConfigDialog.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <memory>
#include <string>

namespace ui::win32 {

// The tray window. It is never shown: a hidden top-level window of the program's own, which
// owns the tray icon, the only visible sign of the running program, and the 100-millisecond
// timer whose ticks run the directory monitor. Being a top-level window, it hears of log-off
// and shutdown, and of a taskbar that starts anew.
class TrayWindow final : private logic::TrayView {
public:
    // Watches watchedDirectory; the configuration window edits the application's settings.
    // Throws Failure when the window cannot be made.
    TrayWindow(core::Application& application, const std::string& watchedDirectory);
    ~TrayWindow() override;
    TrayWindow(const TrayWindow&) = delete;
    TrayWindow& operator=(const TrayWindow&) = delete;

    // The handle that becomes signalled while changes of the watched directory wait to be read
    // (nullptr when there is none), and what the message loop calls when it is.
    HANDLE changesHandle() const {
        const std::intptr_t handle = controller_.changesHandle();
        return handle < 0 ? nullptr : reinterpret_cast<HANDLE>(handle);
    }
    void changesReady() { controller_.changesReady(); }

    // Lets the open configuration window take a message of the message loop that is meant for
    // it (its keyboard); false when it did not.
    bool isDialogMessage(MSG& message) { return config_ && config_->isDialogMessage(message); }

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT onMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);

    void setTrayTooltip(const std::string& text) override;
    void setTimerEnabled(bool enabled) override;
    void showTrayIcon(const std::string& tooltip) override;
    void showConfigWindow() override;
    void endProgram() override;

    bool addTrayIcon();
    void removeTrayIcon();

    core::Application& application_;
    HWND window_ = nullptr;
    HICON icon_ = nullptr;
    // The tray icon as the notification area was given it.
    NOTIFYICONDATAA tray_{};
    // Whether the icon is meant to be in the tray, and whether the tray has taken it.
    bool trayWanted_ = false;
    bool trayAdded_ = false;
    // The tooltip that the tray shows.
    std::string shownTooltip_;
    // When the tray was last asked to take the icon, in milliseconds since the system started.
    std::uint64_t lastTrayAttempt_ = 0;
    bool timerEnabled_ = false;
    // The message by which a taskbar that has started anew asks for the icons again.
    UINT taskbarCreated_ = 0;
    logic::TrayController controller_;
    // The configuration window, while it is loaded; it goes before the controller that it
    // reports to.
    std::unique_ptr<ConfigDialog> config_;
};

} // namespace ui::win32
