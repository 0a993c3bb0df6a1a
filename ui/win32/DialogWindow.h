#pragma once

#include "ui/win32/Fonts.h"
#include "ui/win32/Twips.h"

#include <windows.h>

#include <exception>
#include <optional>

namespace ui::win32 {

// A window of the system's dialog manager, made from an empty template, whose controls are
// placed in twips at the screen's resolution. The dialog manager gives it the keyboard of
// Windows' dialogs: Tab and Shift+Tab through the controls in the order in which they were
// added, Alt with a control's access key, Enter for the default button (the id IDOK) and Esc, as
// well as the close box, for the button with the id IDCANCEL.
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

    // Makes the window, not modal and hidden, and builds it. Throws Failure, or what build()
    // threw.
    void create(DWORD style, DWORD extendedStyle);
    // Makes the window modal over owner (which is disabled meanwhile), builds and shows it, and
    // returns once it has been closed. Throws Failure, or what build() threw; the window then
    // never shows.
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

    // Adds a child control, visible, at its place relative to the client area, with the font of
    // its face.
    HWND addControl(const char* windowClass, const char* text, DWORD style, int id,
                    const TwipsRect& place, Face face, DWORD extendedStyle = 0);
    // Gives the window a client area of that size in twips and centres it on the window centreOn,
    // or, when that is nullptr, on the screen with the mouse pointer (where the tray icon was
    // clicked). It is kept within the work area of its screen.
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
