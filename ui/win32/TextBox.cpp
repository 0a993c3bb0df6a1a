#include "ui/win32/TextBox.h"

#include "core/Settings.h"

#include <string_view>
#include <vector>

namespace ui::win32 {

namespace {

bool storable(const std::string& text) {
    return text.size() <= core::kMaxValueBytes &&
           text.find_first_of(std::string_view("\r\n")) == std::string::npos;
}

} // namespace

std::string windowText(HWND window) {
    std::vector<char> text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1);
    const int length = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    return std::string(text.data(), static_cast<std::size_t>(length > 0 ? length : 0));
}

void TextBox::attach(HWND box) {
    box_ = box;
    // The box stops typing at 254 characters; where a character takes several bytes, changed()
    // takes back what goes beyond 254 bytes.
    SendMessageA(box_, EM_LIMITTEXT, core::kMaxValueBytes, 0);
}

void TextBox::setText(const std::string& bytes) {
    given_ = bytes;
    setting_ = true;
    SetWindowTextA(box_, bytes.c_str());
    setting_ = false;
    shown_ = windowText(box_);
    accepted_ = shown_;
}

std::string TextBox::text() const {
    const std::string text = windowText(box_);
    return text == shown_ ? given_ : text;
}

void TextBox::changed() {
    if (setting_) {
        return;
    }
    const std::string text = windowText(box_);
    if (text == accepted_) {
        return;
    }
    if (storable(text)) {
        accepted_ = text;
        SendMessageA(box_, EM_GETSEL, reinterpret_cast<WPARAM>(&caret_), 0);
        return;
    }
    // Setting the text again reports a change, which finds the accepted text.
    SetWindowTextA(box_, accepted_.c_str());
    SendMessageA(box_, EM_SETSEL, caret_, caret_);
    MessageBeep(MB_OK);
}

} // namespace ui::win32
