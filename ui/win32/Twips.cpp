#include "ui/win32/Twips.h"

namespace ui::win32 {

namespace {
constexpr int kTwipsPerInch = 1440;
}

Resolution screenResolution() {
    const HDC screen = GetDC(nullptr);
    const Resolution resolution{GetDeviceCaps(screen, LOGPIXELSX),
                                GetDeviceCaps(screen, LOGPIXELSY)};
    ReleaseDC(nullptr, screen);
    return resolution;
}

int twipsToPixels(int twips, int dotsPerInch) {
    // Rounds half away from zero.
    return MulDiv(twips, dotsPerInch, kTwipsPerInch);
}

RECT toPixels(Resolution resolution, const TwipsRect& twips) {
    return RECT{twipsToPixels(twips.left, resolution.x), twipsToPixels(twips.top, resolution.y),
                twipsToPixels(twips.left + twips.width, resolution.x),
                twipsToPixels(twips.top + twips.height, resolution.y)};
}

} // namespace ui::win32
