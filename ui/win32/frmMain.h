#pragma once

#include "core/modConfig.h"
#include "ui/logic/MainWindow.h"
#include "ui/win32/frmConfig.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <memory>
#include <string>

// The main window. It is never shown: a hidden top-level window of the program's own, which
// owns the tray icon, the only visible sign of the running program, and the 100-millisecond
// timer whose ticks run the directory monitor. Being a top-level window, it hears of log-off
// and shutdown, and of a taskbar that starts anew.
class frmMain final : private ui::logic::MainWindowView {
public:
    // Watches strWatchDir. Throws Failure when the window cannot be made.
    frmMain(modConfig::Settings& settings, const std::string& strWatchDir);
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // The handle that becomes signalled while changes of the watched directory wait to be read
    // (nullptr when there is none), and what the message loop calls when it is.
    HANDLE changesHandle() const {
        const std::intptr_t handle = logic.changesHandle();
        return handle < 0 ? nullptr : reinterpret_cast<HANDLE>(handle);
    }
    void changesReady() { logic.changesReady(); }

    // Lets the open configuration window take a message of the message loop that is meant for
    // it (its keyboard); false when it did not.
    bool isDialogMessage(MSG& message) { return config && config->isDialogMessage(message); }

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

    modConfig::Settings& settings;
    HWND window = nullptr;
    HICON icon = nullptr;
    // The tray icon as the notification area was given it.
    NOTIFYICONDATAA ctTray{};
    // Whether the icon is meant to be in the tray, and whether the tray has taken it.
    bool trayWanted = false;
    bool trayAdded = false;
    // The tooltip that the tray shows.
    std::string shownTooltip;
    // When the tray was last asked to take the icon, in milliseconds since the system started.
    std::uint64_t lastTrayAttempt = 0;
    bool timerEnabled = false;
    // The message by which a taskbar that has started anew asks for the icons again.
    UINT taskbarCreated = 0;
    ui::logic::MainWindow logic;
    // The configuration window, while it is loaded; it goes before the logic that it reports to.
    std::unique_ptr<frmConfig> config;
};
