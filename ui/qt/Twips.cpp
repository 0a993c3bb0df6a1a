#include "ui/qt/Twips.h"

#include <QWidget>

#include <cmath>

namespace ui::qt {

namespace {
constexpr double kTwipsPerInch = 1440.0;
}

int twipsToPixels(int twips, double dotsPerInch) {
    return static_cast<int>(std::lround(twips * dotsPerInch / kTwipsPerInch));
}

QRect twipsRect(const QWidget& widget, int left, int top, int width, int height) {
    const double dpiX = widget.logicalDpiX();
    const double dpiY = widget.logicalDpiY();
    const int x = twipsToPixels(left, dpiX);
    const int y = twipsToPixels(top, dpiY);
    return QRect(x, y, twipsToPixels(left + width, dpiX) - x,
                 twipsToPixels(top + height, dpiY) - y);
}

} // namespace ui::qt
