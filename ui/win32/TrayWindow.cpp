#include "ui/win32/TrayWindow.h"

#include "ui/win32/Resources.h"
#include "ui/win32/WindowFailure.h"

#include <algorithm>
#include <cstring>

namespace ui::win32 {
namespace {

constexpr UINT_PTR kTimerId = 1;
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

TrayWindow::TrayWindow(core::Application& application, const std::string& watchedDirectory)
    : application_(application), controller_(*this, application, watchedDirectory) {
    registerWindowClass(&TrayWindow::windowProcedure);
    taskbarCreated_ = RegisterWindowMessageA("TaskbarCreated");
    window_ =
        CreateWindowExA(0, kWindowClass, "Tarvo", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance(), this);
    if (window_ == nullptr) {
        throwWindowFailure("The main window could not be made");
    }
    controller_.initialize();
}

TrayWindow::~TrayWindow() {
    controller_.unload();
    removeTrayIcon();
    DestroyWindow(window_);
    if (icon_ != nullptr) {
        DestroyIcon(icon_);
    }
}

// The window's messages go to the TrayWindow that made it, named at its creation.
LRESULT CALLBACK TrayWindow::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<TrayWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return self != nullptr ? self->onMessage(window, message, wParam, lParam)
                           : DefWindowProcA(window, message, wParam, lParam);
}

// Called from the window's creation on, before CreateWindowExA has returned its handle.
LRESULT TrayWindow::onMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        if (wParam == kTimerId) {
            // One tick for each schedule: the controller asks for the next.
            KillTimer(window_, kTimerId);
            controller_.tick();
        }
        return 0;
    case kTrayMessage:
        if (lParam == WM_LBUTTONUP) {
            controller_.onTrayClicked();
        }
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    // The process may be ended as soon as this returns, so the program ends here. It comes
    // between two ticks, or within a tick's wait on a device or the log, which then ends the job
    // in hand for the next start to take up (platform::stopRequested sees the WM_QUIT posted).
    case WM_ENDSESSION:
        if (wParam != FALSE) {
            controller_.stop();
        }
        return 0;
    // A request to close the program's windows (a task manager's "end task" asks so first).
    case WM_CLOSE:
        controller_.stop();
        return 0;
    default:
        if (message == taskbarCreated_ && taskbarCreated_ != 0 && trayWanted_) {
            trayAdded_ = false;
            addTrayIcon();
            return 0;
        }
        return DefWindowProcA(handle, message, wParam, lParam);
    }
}

bool TrayWindow::addTrayIcon() {
    lastTrayAttempt_ = GetTickCount64();
    SetLastError(0);
    trayAdded_ = Shell_NotifyIconA(NIM_ADD, &tray_) != FALSE;
    if (trayAdded_) {
        shownTooltip_ = tray_.szTip;
    }
    return trayAdded_;
}

void TrayWindow::removeTrayIcon() {
    if (trayAdded_) {
        Shell_NotifyIconA(NIM_DELETE, &tray_);
        trayAdded_ = false;
    }
    trayWanted_ = false;
}

void TrayWindow::showTrayIcon(const std::string& tooltip) {
    if (icon_ == nullptr) {
        icon_ = loadIcon(GetSystemMetrics(SM_CXSMICON));
        if (icon_ == nullptr) {
            throwWindowFailure("The icon could not be loaded");
        }
    }
    tray_.cbSize = sizeof tray_;
    tray_.hWnd = window_;
    tray_.uID = kTrayIconId;
    tray_.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    tray_.uCallbackMessage = kTrayMessage;
    tray_.hIcon = icon_;
    copyTooltip(tray_, tooltip);
    trayWanted_ = true;
    if (!addTrayIcon()) {
        throwWindowFailure("The notification area did not take the icon");
    }
}

// Called ten times a second: only a new text goes to the tray. A tray that has not taken the
// icon is asked again now and then; the monitor never stops for the tray's sake.
void TrayWindow::setTrayTooltip(const std::string& text) {
    copyTooltip(tray_, text);
    if (!trayWanted_) {
        return;
    }
    if (trayAdded_) {
        if (shownTooltip_ != tray_.szTip && Shell_NotifyIconA(NIM_MODIFY, &tray_)) {
            shownTooltip_ = tray_.szTip;
        }
    } else if (GetTickCount64() - lastTrayAttempt_ >= kTrayRetryMs) {
        addTrayIcon();
    }
}

void TrayWindow::scheduleTick(monitor::NextTick delay) {
    KillTimer(window_, kTimerId);
    if (delay &&
        SetTimer(window_, kTimerId,
                 static_cast<UINT>(std::max<long long>(delay->count(), USER_TIMER_MINIMUM)),
                 nullptr) == 0) {
        throwWindowFailure("The monitor timer could not be set");
    }
}

// A closed configuration window is made anew from the stored settings.
void TrayWindow::showConfigWindow() {
    if (config_ && !config_->isOpen()) {
        config_.reset();
    }
    if (!config_) {
        config_ = std::make_unique<ConfigDialog>(controller_, application_);
    }
    config_->show();
}

void TrayWindow::endProgram() {
    removeTrayIcon();
    PostQuitMessage(0);
}

} // namespace ui::win32
