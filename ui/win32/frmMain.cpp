#include "ui/win32/frmMain.h"

#include "ui/win32/Resources.h"
#include "ui/win32/WindowFailure.h"

#include <algorithm>
#include <cstring>

namespace {

using ui::win32::throwWindowFailure;

constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerIntervalMs = 100;
constexpr UINT kTrayIconId = 1;
// What the tray sends the window when the user acts on the icon.
constexpr UINT kTrayMessage = WM_APP + 1;
// How often a tray that has not taken the icon is asked again: a shell that is busy at log-on
// lets the request run out of time, and says nothing when it is ready.
constexpr std::uint64_t kTrayRetryMs = 10000;
constexpr const char* kWindowClass = "TarvoMainWindow";

HINSTANCE instance() {
    return GetModuleHandleA(nullptr);
}

HICON loadIcon(int size) {
    return static_cast<HICON>(
        LoadImageA(instance(), MAKEINTRESOURCEA(IDI_TARVO), IMAGE_ICON, size, size, 0));
}

// The tray shows at most 127 bytes of a tooltip.
void copyTooltip(NOTIFYICONDATAA& tray, const std::string& text) {
    const std::size_t length = std::min(text.size(), sizeof tray.szTip - 1);
    std::memcpy(tray.szTip, text.data(), length);
    tray.szTip[length] = '\0';
}

void registerWindowClass(WNDPROC procedure) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpszClassName = kWindowClass;
    windowClass.hInstance = instance();
    windowClass.hIcon = loadIcon(GetSystemMetrics(SM_CXICON));
    windowClass.hIconSm = loadIcon(GetSystemMetrics(SM_CXSMICON));
    windowClass.lpfnWndProc = procedure;
    if (RegisterClassExA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throwWindowFailure("The main window's class could not be registered");
    }
}

} // namespace

frmMain::frmMain(modConfig::Settings& settings, const std::string& strWatchDir)
    : settings(settings), logic(*this, settings, strWatchDir) {
    registerWindowClass(&frmMain::windowProcedure);
    taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    // Created without WS_VISIBLE, and never shown.
    window =
        CreateWindowExA(0, kWindowClass, "Tarvo", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance(), this);
    if (window == nullptr) {
        throwWindowFailure("The main window could not be made");
    }
    logic.Initialize();
    setTimerEnabled(true);
}

frmMain::~frmMain() {
    logic.Unload();
    removeTrayIcon();
    DestroyWindow(window);
    if (icon != nullptr) {
        DestroyIcon(icon);
    }
}

// The window's messages go to the frmMain that made it, named at its creation.
LRESULT CALLBACK frmMain::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<frmMain*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return self != nullptr ? self->onMessage(window, message, wParam, lParam)
                           : DefWindowProcA(window, message, wParam, lParam);
}

// Called from the window's creation on, before CreateWindowExA has returned its handle.
LRESULT frmMain::onMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        if (wParam == kTimerId) {
            logic.Timer_Timer();
        }
        return 0;
    case kTrayMessage:
        if (lParam == WM_LBUTTONUP) {
            logic.ctTray_IconClick();
        }
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    // The session ends: the process may be ended as soon as this returns, so the program ends
    // here, its tray icon removed. A tick never runs at the same time: both come from this
    // thread's messages.
    case WM_ENDSESSION:
        if (wParam != FALSE) {
            logic.stop();
        }
        return 0;
    // A request to close the program's windows (a task manager's "end task" asks so first).
    case WM_CLOSE:
        logic.stop();
        return 0;
    default:
        if (message == taskbarCreated && taskbarCreated != 0 && trayWanted) {
            trayAdded = false;
            addTrayIcon();
            return 0;
        }
        return DefWindowProcA(handle, message, wParam, lParam);
    }
}

bool frmMain::addTrayIcon() {
    lastTrayAttempt = GetTickCount64();
    SetLastError(0);
    trayAdded = Shell_NotifyIconA(NIM_ADD, &ctTray) != FALSE;
    if (trayAdded) {
        shownTooltip = ctTray.szTip;
    }
    return trayAdded;
}

void frmMain::removeTrayIcon() {
    if (trayAdded) {
        Shell_NotifyIconA(NIM_DELETE, &ctTray);
        trayAdded = false;
    }
    trayWanted = false;
}

void frmMain::showTrayIcon(const std::string& tooltip) {
    if (icon == nullptr) {
        icon = loadIcon(GetSystemMetrics(SM_CXSMICON));
        if (icon == nullptr) {
            throwWindowFailure("The icon could not be loaded");
        }
    }
    ctTray.cbSize = sizeof ctTray;
    ctTray.hWnd = window;
    ctTray.uID = kTrayIconId;
    ctTray.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    ctTray.uCallbackMessage = kTrayMessage;
    ctTray.hIcon = icon;
    copyTooltip(ctTray, tooltip);
    trayWanted = true;
    if (!addTrayIcon()) {
        throwWindowFailure("The notification area did not take the icon");
    }
}

// The tick sets the tooltip ten times a second; only a new text goes to the tray. A tray that
// has not taken the icon is asked again now and then, with the text of the moment: the monitor
// never stops for the tray's sake.
void frmMain::setTrayTooltip(const std::string& text) {
    copyTooltip(ctTray, text);
    if (!trayWanted) {
        return;
    }
    if (trayAdded) {
        if (shownTooltip != ctTray.szTip && Shell_NotifyIconA(NIM_MODIFY, &ctTray)) {
            shownTooltip = ctTray.szTip;
        }
    } else if (GetTickCount64() - lastTrayAttempt >= kTrayRetryMs) {
        addTrayIcon();
    }
}

void frmMain::setTimerEnabled(bool enabled) {
    if (!enabled) {
        KillTimer(window, kTimerId);
        timerEnabled = false;
    } else if (!timerEnabled) {
        if (SetTimer(window, kTimerId, kTimerIntervalMs, nullptr) == 0) {
            throwWindowFailure("The monitor timer could not be set");
        }
        timerEnabled = true;
    }
}

// One configuration window at a time: an open one is shown as it stands, one that has been
// closed is made anew from the stored settings.
void frmMain::showConfigWindow() {
    if (config && !config->isOpen()) {
        config.reset();
    }
    if (!config) {
        config = std::make_unique<frmConfig>(logic, settings);
    }
    config->show();
}

void frmMain::endProgram() {
    removeTrayIcon();
    PostQuitMessage(0);
}
