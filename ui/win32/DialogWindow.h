#pragma once

#include "ui/win32/Fonts.h"
#include "ui/win32/Twips.h"

#include <windows.h>

#include <exception>
#include <optional>

namespace ui::win32 {

// A dialog-manager window from an empty template, controls placed in twips, with the dialog
// keyboard: Tab in order added, Alt+access key, Enter for IDOK, Esc and close box for IDCANCEL.
class DialogWindow {
public:
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

protected:
    // The font of a control's text: the window's own, or Arial 9.75 pt.
    enum class Face { Window, Arial };

    DialogWindow();
    // Destroys a window that is still open, without calling on the derived class any more.
    virtual ~DialogWindow();

    // Makes the window, modeless and hidden, and builds it. Throws Failure, or what build() threw.
    void create(DWORD style, DWORD extendedStyle);
    // Builds and shows the window modal over owner (disabled meanwhile); returns once it is
    // closed. Throws Failure, or what build() threw, and then the window never shows.
    void runModal(HWND owner, DWORD style, DWORD extendedStyle);
    // Closes the window for good.
    void close();

    // The window; nullptr once it has been closed.
    HWND window() const { return window_; }
    Resolution resolution() const { return resolution_; }

    // Gives the window its caption and controls; called once the window exists. May throw.
    virtual void build() = 0;
    // A control's notification, or the dialog manager's IDOK and IDCANCEL.
    virtual void command(int id, int notification, HWND control) = 0;
    // Any other message: what the window answers, or nothing for the dialog manager's answer.
    virtual std::optional<INT_PTR> message(UINT message, WPARAM wParam, LPARAM lParam);

    // Adds a visible child control, placed relative to the client area, in its face's font.
    HWND addControl(const char* windowClass, const char* text, DWORD style, int id,
                    const TwipsRect& place, Face face, DWORD extendedStyle = 0);
    // Sizes the client area in twips and centres the window on centreOn, or when nullptr on the
    // screen with the mouse pointer (where the tray icon was clicked), within the work area.
    void placeWindow(int width, int height, HWND centreOn);

private:
    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    bool modal_ = false;
    Resolution resolution_;
    Font arial_;
    Font windowFont_;
    // A failure of build(), passed on once the system has returned.
    std::exception_ptr failure_;
};

} // namespace ui::win32
