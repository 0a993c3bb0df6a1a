#pragma once

#include <windows.h>

#include <utility>

namespace ui::win32 {

// A font of the graphics interface, deleted when it goes. A font that could not be made is
// null, which the controls take as the system's font.
class Font {
public:
    explicit Font(HFONT font = nullptr) : font_(font) {}
    ~Font() {
        if (font_ != nullptr) {
            DeleteObject(font_);
        }
    }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
    Font(Font&& other) noexcept : font_(std::exchange(other.font_, nullptr)) {}
    Font& operator=(Font&& other) noexcept {
        std::swap(font_, other.font_);
        return *this;
    }

    HFONT get() const { return font_; }

private:
    HFONT font_;
};

// Arial 9.75 pt at a resolution of dotsPerInch down.
Font arialFont(int dotsPerInch);

// The system's message font, at the screen's resolution.
Font windowFont();

} // namespace ui::win32
