#include "ui/win32/TrayWindow.h"

#include "platform/Failure.h"
#include "ui/logic/Badge.h"
#include "ui/win32/Resources.h"
#include "ui/win32/WindowFailure.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

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
// The menu's command of item i is kFirstCommand + i, of the i-th job held back
// kFirstHeldBackCommand + i; zero means none chosen.
constexpr UINT kFirstCommand = 1;
constexpr UINT kFirstHeldBackCommand = 100;

HINSTANCE instance() {
    return GetModuleHandleA(nullptr);
}

HICON loadIcon(int size) {
    return static_cast<HICON>(
        LoadImageA(instance(), MAKEINTRESOURCEA(IDI_TARVO), IMAGE_ICON, size, size, 0));
}

// Copies as much of the text as the field holds, ending in a NUL: the tray shows at most 127
// bytes of a tooltip, 63 of a balloon's title and 255 of its text.
template <std::size_t size> void copyText(char (&field)[size], const std::string& text) {
    const std::size_t length = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

std::wstring fromUtf8(std::string_view text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            static_cast<int>(wide.size()))));
    return wide;
}

// A bitmap, deleted when it goes.
class Bitmap {
public:
    explicit Bitmap(HBITMAP bitmap) : bitmap_(bitmap) {}
    ~Bitmap() {
        if (bitmap_ != nullptr) {
            DeleteObject(bitmap_);
        }
    }
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    HBITMAP get() const { return bitmap_; }

private:
    HBITMAP bitmap_;
};

// The icon's pixels, 0xAARRGGBB row after row; an icon of fewer colours, which has no alpha, is
// opaque where its mask is clear. Empty when they cannot be read.
std::vector<std::uint32_t> pixelsOf(HICON icon, int& size) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) {
        return {};
    }
    const Bitmap color(info.hbmColor);
    const Bitmap mask(info.hbmMask);
    BITMAP shape{};
    if (color.get() == nullptr || GetObjectA(color.get(), sizeof shape, &shape) == 0) {
        return {};
    }
    size = shape.bmWidth;
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size) *
                                      static_cast<std::size_t>(size));
    std::vector<std::uint32_t> transparent(pixels.size());
    const HDC screen = GetDC(nullptr);
    const bool read = GetDIBits(screen, color.get(), 0, static_cast<UINT>(size), pixels.data(),
                                &format, DIB_RGB_COLORS) == size &&
                      GetDIBits(screen, mask.get(), 0, static_cast<UINT>(size), transparent.data(),
                                &format, DIB_RGB_COLORS) == size;
    ReleaseDC(nullptr, screen);
    if (!read) {
        return {};
    }
    if (std::none_of(pixels.begin(), pixels.end(), [](std::uint32_t p) { return p >> 24 != 0; })) {
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] =
                (pixels[i] & 0xFFFFFF) | ((transparent[i] & 0xFFFFFF) != 0 ? 0 : 0xFF000000);
        }
    }
    return pixels;
}

// The icon with the badge painted over it, at its own size; nullptr when it cannot be made.
HICON withBadge(HICON icon, logic::TrayIcon badge) {
    int size = 0;
    std::vector<std::uint32_t> pixels = pixelsOf(icon, size);
    if (pixels.empty()) {
        return nullptr;
    }
    logic::paintBadge(badge, pixels.data(), size);
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const Bitmap color(CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (color.get() == nullptr) {
        return nullptr;
    }
    std::memcpy(bits, pixels.data(), pixels.size() * sizeof pixels[0]);
    // The mask, for where alpha is not used: set where the icon is transparent. Rows of whole
    // 16-bit words.
    const std::size_t row = (static_cast<std::size_t>(size) + 15) / 16 * 2;
    std::vector<BYTE> maskBits(row * static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (pixels[i] >> 24 == 0) {
            const std::size_t x = i % static_cast<std::size_t>(size);
            maskBits[i / static_cast<std::size_t>(size) * row + x / 8] |=
                static_cast<BYTE>(0x80 >> (x % 8));
        }
    }
    const Bitmap mask(CreateBitmap(size, size, 1, 1, maskBits.data()));
    ICONINFO made{TRUE, 0, 0, mask.get(), color.get()};
    return CreateIconIndirect(&made);
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
    for (HICON icon : icons_) {
        if (icon != nullptr) {
            DestroyIcon(icon);
        }
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
        } else if (lParam == WM_RBUTTONUP || lParam == WM_CONTEXTMENU) {
            showMenu();
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
    if (icons_[0] == nullptr) {
        icons_[0] = loadIcon(GetSystemMetrics(SM_CXSMICON));
        if (icons_[0] == nullptr) {
            throwWindowFailure("The icon could not be loaded");
        }
        // Without a badge of its own, a state shows the plain icon.
        for (const logic::TrayIcon badge : {logic::TrayIcon::Warning, logic::TrayIcon::Stopped}) {
            icons_.at(static_cast<std::size_t>(badge)) = withBadge(icons_[0], badge);
        }
    }
    tray_.cbSize = sizeof tray_;
    tray_.hWnd = window_;
    tray_.uID = kTrayIconId;
    tray_.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    tray_.uCallbackMessage = kTrayMessage;
    tray_.hIcon = icons_[0];
    copyText(tray_.szTip, tooltip);
    trayWanted_ = true;
    if (!addTrayIcon()) {
        throwWindowFailure("The notification area did not take the icon");
    }
}

void TrayWindow::setTrayIcon(logic::TrayIcon icon) {
    const HICON shown = icons_.at(static_cast<std::size_t>(icon));
    tray_.hIcon = shown != nullptr ? shown : icons_[0];
    if (trayAdded_) {
        Shell_NotifyIconA(NIM_MODIFY, &tray_);
    }
}

// A balloon of the notification area: only this change carries NIF_INFO, or every later one
// would show it again.
void TrayWindow::notify(const logic::Notification& notification) {
    NOTIFYICONDATAA balloon = tray_;
    balloon.uFlags = NIF_INFO;
    copyText(balloon.szInfoTitle, notification.title);
    copyText(balloon.szInfo, notification.text);
    balloon.dwInfoFlags = NIIF_WARNING;
    Shell_NotifyIconA(NIM_MODIFY, &balloon);
}

void TrayWindow::openOnDesktop(const std::string& path) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32) {
        throw platform::Failure(platform::description::kDesktopCannotOpen + path);
    }
}

// The printer's own queue window, as the printers' settings open it.
void TrayWindow::openPrinterQueue(const std::string& printer) {
    const std::wstring arguments = L"printui.dll,PrintUIEntry /o /n \"" + fromUtf8(printer) + L"\"";
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(
        nullptr, L"open", L"rundll32.exe", arguments.c_str(), nullptr, SW_SHOWNORMAL));
    if (result <= 32) {
        throw platform::Failure(platform::description::kDesktopCannotOpen + printer);
    }
}

// The menu opens where the mouse is, towards the side that the system's settings ask; the jobs
// held back stand above its items.
void TrayWindow::showMenu() {
    const HMENU menu = CreatePopupMenu();
    if (menu == nullptr) {
        return;
    }
    const std::vector<routing::HeldBackJob> heldBack = controller_.heldBackJobs();
    for (std::size_t i = 0; i < heldBack.size(); ++i) {
        AppendMenuW(menu, MF_STRING | (controller_.opensPrinterQueues() ? MF_ENABLED : MF_GRAYED),
                    kFirstHeldBackCommand + i,
                    fromUtf8(logic::heldBackCaption(heldBack[i])).c_str());
    }
    if (!heldBack.empty()) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    }
    for (std::size_t i = 0; i < logic::kTrayMenu.size(); ++i) {
        const logic::TrayMenuItem& item = logic::kTrayMenu[i];
        if (item.separated) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        }
        UINT flags = MF_STRING;
        flags |= controller_.isAvailable(item.command) ? MF_ENABLED : MF_GRAYED;
        if (item.command == logic::TrayCommand::PauseMonitoring && controller_.paused()) {
            flags |= MF_CHECKED;
        }
        AppendMenuW(menu, flags, kFirstCommand + i, fromUtf8(item.caption).c_str());
    }
    // What a click on the icon does, shown in bold.
    SetMenuDefaultItem(menu, kFirstCommand, FALSE);
    POINT at{};
    GetCursorPos(&at);
    const UINT side = GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    // The menu closes at a click elsewhere only when its window is in the foreground; the message
    // after it lets the next menu open at the first click.
    SetForegroundWindow(window_);
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(
        menu, side | TPM_BOTTOMALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y,
        0, window_, nullptr));
    PostMessageA(window_, WM_NULL, 0, 0);
    DestroyMenu(menu);
    if (chosen >= kFirstCommand && chosen < kFirstCommand + logic::kTrayMenu.size()) {
        controller_.run(logic::kTrayMenu[chosen - kFirstCommand].command);
    } else if (chosen >= kFirstHeldBackCommand &&
               chosen < kFirstHeldBackCommand + heldBack.size()) {
        controller_.openPrinterQueue(heldBack[chosen - kFirstHeldBackCommand].section.printer);
    }
}

// Called ten times a second: only a new text goes to the tray. A tray that has not taken the
// icon is asked again now and then; the monitor never stops for the tray's sake.
void TrayWindow::setTrayTooltip(const std::string& text) {
    copyText(tray_.szTip, text);
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
