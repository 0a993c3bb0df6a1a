#pragma once

#include <windows.h>

#include <string>

namespace ui::win32 {

// The text of a window or control, in the ANSI code page.
std::string windowText(HWND window);

// A single-line text box that holds only what the settings file stores and reads back whole (at
// most 254 bytes, no line break); an edit beyond that is taken back.
class TextBox {
public:
    void attach(HWND box);
    HWND handle() const { return box_; }

    // The bytes come back as given while unedited, even those the code page would change.
    void setText(const std::string& bytes);
    std::string text() const;

    // On EN_CHANGE: an edit that cannot be stored is taken back; the program's own are kept.
    void changed();

private:
    HWND box_ = nullptr;
    // What setText() was given, and what the box showed of it.
    std::string given_;
    std::string shown_;
    bool setting_ = false;
    // The last text that the box held and may hold, and where its caret was.
    std::string accepted_;
    DWORD caret_ = 0;
};

} // namespace ui::win32
