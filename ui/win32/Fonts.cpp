#include "ui/win32/Fonts.h"

#include <cstring>

namespace ui::win32 {

Font arialFont(int dotsPerInch) {
    LOGFONTA font{};
    // A negative height is the characters' height without leading: what a point size means.
    font.lfHeight = -MulDiv(975, dotsPerInch, 72 * 100);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    std::strcpy(font.lfFaceName, "Arial");
    return Font(CreateFontIndirectA(&font));
}

Font windowFont() {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        return Font();
    }
    return Font(CreateFontIndirectA(&metrics.lfMessageFont));
}

} // namespace ui::win32
