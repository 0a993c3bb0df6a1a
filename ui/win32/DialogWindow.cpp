#include "ui/win32/DialogWindow.h"

#include "ui/win32/WindowFailure.h"

#include <algorithm>
#include <utility>

namespace ui::win32 {

namespace {

// Without controls, menu, class or caption; templates must lie on a 4-byte boundary.
struct alignas(4) EmptyTemplate {
    DLGTEMPLATE header;
    WORD menu = 0;
    WORD windowClass = 0;
    WORD caption = 0;
};

EmptyTemplate emptyTemplate(DWORD style, DWORD extendedStyle) {
    EmptyTemplate empty{};
    empty.header.style = style;
    empty.header.dwExtendedStyle = extendedStyle;
    return empty;
}

HINSTANCE instance() {
    return GetModuleHandleA(nullptr);
}

// The work area (the screen without the taskbar) of the screen nearest to the point.
RECT workAreaAt(POINT point) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), &monitor);
    return monitor.rcWork;
}

} // namespace

DialogWindow::DialogWindow()
    : resolution_(screenResolution()), arial_(arialFont(resolution_.y)), windowFont_(windowFont()) {
}

DialogWindow::~DialogWindow() {
    if (window_ != nullptr) {
        SetWindowLongPtrA(window_, DWLP_USER, 0);
        DestroyWindow(window_);
    }
}

void DialogWindow::create(DWORD style, DWORD extendedStyle) {
    const EmptyTemplate empty = emptyTemplate(style, extendedStyle);
    SetLastError(0);
    const HWND made = CreateDialogIndirectParamA(instance(), &empty.header, nullptr, &procedure,
                                                 reinterpret_cast<LPARAM>(this));
    if (failure_) {
        if (made != nullptr) {
            SetWindowLongPtrA(made, DWLP_USER, 0);
            DestroyWindow(made);
        }
        window_ = nullptr;
        std::rethrow_exception(std::exchange(failure_, nullptr));
    }
    if (made == nullptr) {
        throwWindowFailure("The window could not be made");
    }
}

void DialogWindow::runModal(HWND owner, DWORD style, DWORD extendedStyle) {
    const EmptyTemplate empty = emptyTemplate(style, extendedStyle);
    modal_ = true;
    SetLastError(0);
    const INT_PTR result = DialogBoxIndirectParamA(instance(), &empty.header, owner, &procedure,
                                                   reinterpret_cast<LPARAM>(this));
    window_ = nullptr;
    if (failure_) {
        std::rethrow_exception(std::exchange(failure_, nullptr));
    }
    if (result == -1) {
        throwWindowFailure("The window could not be made");
    }
}

void DialogWindow::close() {
    if (window_ == nullptr) {
        return;
    }
    if (modal_) {
        EndDialog(window_, 0);
    } else {
        DestroyWindow(std::exchange(window_, nullptr));
    }
}

std::optional<INT_PTR> DialogWindow::message(UINT, WPARAM, LPARAM) {
    return std::nullopt;
}

HWND DialogWindow::addControl(const char* windowClass, const char* text, DWORD style, int id,
                              const TwipsRect& place, Face face, DWORD extendedStyle) {
    const RECT pixels = toPixels(resolution_, place);
    SetLastError(0);
    const HWND control = CreateWindowExA(
        extendedStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, pixels.left, pixels.top,
        pixels.right - pixels.left, pixels.bottom - pixels.top, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance(), nullptr);
    if (control == nullptr) {
        throwWindowFailure("A control could not be made");
    }
    const HFONT font = face == Face::Arial ? arial_.get() : windowFont_.get();
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void DialogWindow::placeWindow(int width, int height, HWND centreOn) {
    RECT area;
    if (centreOn == nullptr || !GetWindowRect(centreOn, &area)) {
        POINT pointer{};
        GetCursorPos(&pointer);
        area = workAreaAt(pointer);
    }
    RECT frame = toPixels(resolution_, {0, 0, width, height});
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(window_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(window_, GWL_EXSTYLE)));
    const int frameWidth = frame.right - frame.left;
    const int frameHeight = frame.bottom - frame.top;
    const RECT work = workAreaAt({(area.left + area.right) / 2, (area.top + area.bottom) / 2});
    // Centred, and moved into the work area where it would stick out; a window larger than the
    // work area keeps its caption on the screen.
    const int left = std::max(
        work.left, std::min((area.left + area.right - frameWidth) / 2, work.right - frameWidth));
    const int top = std::max(
        work.top, std::min((area.top + area.bottom - frameHeight) / 2, work.bottom - frameHeight));
    SetWindowPos(window_, nullptr, left, top, frameWidth, frameHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// FALSE leaves a message to the dialog manager.
INT_PTR CALLBACK DialogWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<DialogWindow*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        self->window_ = window;
        try {
            self->build();
        } catch (...) {
            // Nothing may unwind through the system's code.
            self->failure_ = std::current_exception();
            if (self->modal_) {
                EndDialog(window, 0);
            }
        }
        // The dialog manager puts the focus on the first control with a tab stop.
        return TRUE;
    }
    auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrA(window, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    if (message == WM_COMMAND) {
        self->command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
    }
    return self->message(message, wParam, lParam).value_or(FALSE);
}

} // namespace ui::win32
