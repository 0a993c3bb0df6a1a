#pragma once

#include <windows.h>

#include <string>

namespace ui::win32 {

// The text of a window or control, in the ANSI code page.
std::string windowText(HWND window);

// A single-line text box that holds only what the settings file stores and reads back whole: at
// most 254 bytes and no line break. An edit that would go beyond is taken back as it is typed,
// pasted or set.
class TextBox {
public:
    // Takes over the edit control.
    void attach(HWND box);
    HWND handle() const { return box_; }

    // Shows the bytes. They are given back as they were while the box shows them unedited: bytes
    // that are not valid in the code page would come back from the box changed.
    void setText(const std::string& bytes);
    std::string text() const;

    // The box's text has changed (EN_CHANGE): an edit that cannot be stored is taken back. The
    // program's own texts are taken as they are.
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
